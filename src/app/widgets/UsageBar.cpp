#include "UsageBar.hpp"

#include "Format.hpp"
#include "Theme.hpp"

#include <algorithm>
#include <cmath>
#include <QPainter>
#include <QPainterPath>

namespace vellumkite {

namespace {

constexpr qreal kTrackOpacity = 0.12;

QPainterPath capsule(const QRectF& rect) {
    QPainterPath path;
    if (rect.width() <= 0 || rect.height() <= 0)
        return path;
    const qreal radius = std::min(rect.width(), rect.height()) / 2;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

} // namespace

UsageBar::Geometry UsageBar::geometry(const QRectF& bounds, double percent,
                                      const QPalette& palette) {
    const qreal clamped = std::isnan(percent) ? 0 : std::clamp(percent, 0.0, 100.0);
    const QRectF track = bounds.normalized();
    QRectF fill = track;
    fill.setWidth(track.width() * clamped / 100);
    const QColor trackColor = Theme::withOpacity(Theme::primary(palette), kTrackOpacity);
    const QColor under = Theme::over(trackColor, palette.color(QPalette::Window));
    return {track, fill, trackColor,
            Theme::legible(Theme::gaugeColor(percent, palette), under, Theme::kGraphicContrast)};
}

void UsageBar::paintBar(QPainter& painter, const QRectF& bounds, double percent,
                        const QPalette& palette) {
    const Geometry g = geometry(bounds, percent, palette);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const QPainterPath track = capsule(g.track);
    painter.fillPath(track, g.trackColor);
    // A fill narrower than the bar is high stays inside the track's rounded end rather than
    // poking out of it.
    const QPainterPath fill = capsule(g.fill);
    if (!fill.isEmpty())
        painter.fillPath(g.fill.width() < g.fill.height() ? fill.intersected(track) : fill,
                         g.fillColor);
    painter.restore();
}

UsageBar::UsageBar(double percent, int height, QWidget* parent)
    : QWidget(parent), percent_(percent), height_(std::max(0, height)) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QString UsageBar::accessibleText() const {
    return spoken(QString::fromStdString(Format::percent(percent_)) + QStringLiteral(" used"));
}

void UsageBar::setPercent(double percent) {
    percent_ = percent;
    update();
}

void UsageBar::setBarHeight(int height) {
    height_ = std::max(0, height);
    updateGeometry();
    update();
}

QSize UsageBar::sizeHint() const {
    return {160, height_};
}

QSize UsageBar::minimumSizeHint() const {
    return {height_ * 2, height_};
}

void UsageBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // Exactly the bar's height, vertically centred should the layout give more.
    const qreal top = std::floor((height() - height_) / 2.0);
    paintBar(painter, QRectF(0, std::max<qreal>(0, top), width(), height_), percent_, palette());
}

} // namespace vellumkite
