#include "Sparkline.hpp"

#include "Format.hpp"
#include "SpikeScale.hpp"
#include "Theme.hpp"

#include <algorithm>
#include <cmath>
#include <QPainter>
#include <QPainterPath>

namespace vellumkite {

namespace {

constexpr qreal kCornerRadius = 1.5;

double usable(double value) {
    return std::isfinite(value) ? value : 0;
}

// Edges on whole device pixels keep thin bars sharp; a bar never vanishes below one pixel.
QRectF snapped(const QRectF& r, qreal dpr) {
    const auto snap = [dpr](qreal v) { return std::round(v * dpr) / dpr; };
    qreal left = snap(r.left());
    qreal right = std::max(snap(r.right()), left + 1 / dpr);
    qreal bottom = snap(r.bottom());
    qreal top = std::min(snap(r.top()), bottom - 1 / dpr);
    return QRectF(QPointF(left, top), QPointF(right, bottom));
}

} // namespace

std::vector<Sparkline::Bar> Sparkline::bars(const QRectF& bounds,
                                            const std::vector<double>& values) {
    std::vector<Bar> out;
    if (values.empty())
        return out;
    const QRectF chart = bounds.normalized();
    const auto n = static_cast<qreal>(values.size());

    const SpikeScale scale = SpikeScale::of(values, 1.0);

    const qreal slot = chart.width() / n;
    const qreal barWidth = std::max<qreal>(1, slot - 1);
    out.reserve(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        const double v = usable(values[i]);
        const qreal h = std::max<qreal>(2, chart.height() * std::min(v, scale.scale) / scale.scale);
        // Bars sit in equal slots, so a chart too narrow for its bars squeezes them together
        // instead of running past its right edge.
        const qreal x = chart.left() + static_cast<qreal>(i) * slot;
        out.push_back({QRectF(x, chart.bottom() - h, barWidth, h),
                       v > 0 ? kActiveOpacity : kIdleOpacity, scale.clips(v)});
    }
    return out;
}

QString Sparkline::accessibleText() const {
    return QStringLiteral("Usage per minute, last %1 minutes").arg(values_.size());
}

QString Sparkline::accessibleDetail() const {
    std::size_t busiest = 0, active = 0;
    for (std::size_t i = 0; i < values_.size(); ++i) {
        active += usable(values_[i]) > 0;
        if (usable(values_[i]) > usable(values_[busiest]))
            busiest = i;
    }
    if (active == 0)
        return QStringLiteral("No use");
    const std::size_t ago = values_.size() - 1 - busiest;
    return QStringLiteral("%1 of %2 minutes with use; the busiest, %3 per minute, %4")
        .arg(active)
        .arg(values_.size())
        .arg(QString::fromStdString(Format::rate(values_[busiest])))
        .arg(ago == 0 ? QStringLiteral("this minute") : QStringLiteral("%1 min ago").arg(ago));
}

QColor Sparkline::barColor(const Bar& bar, const QPalette& palette) {
    const QColor c = Theme::withOpacity(Theme::accent(palette), bar.opacity);
    // Bars of usage are graphics that must stand out; the faint ones of idle minutes only mark
    // the baseline.
    if (bar.opacity < kActiveOpacity)
        return c;
    return Theme::legible(c, palette.color(QPalette::Window), Theme::kGraphicContrast);
}

Sparkline::Sparkline(std::vector<double> values, QWidget* parent)
    : QWidget(parent), values_(std::move(values)) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void Sparkline::setValues(std::vector<double> values) {
    values_ = std::move(values);
    update();
}

QSize Sparkline::sizeHint() const {
    return {240, 32};
}

QSize Sparkline::minimumSizeHint() const {
    return {30, 2};
}

void Sparkline::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setClipRect(rect());

    const qreal dpr = painter.device()->devicePixelRatio();
    for (const Bar& bar : bars(QRectF(rect()), values_)) {
        const QRectF r = snapped(bar.rect, dpr);
        const qreal radius = std::min({kCornerRadius, r.width() / 2, r.height() / 2});
        painter.setBrush(barColor(bar, palette()));
        painter.drawRoundedRect(r, radius, radius);
        if (bar.clipped)
            Theme::paintClipMark(painter, r, palette());
    }
}

} // namespace vellumkite
