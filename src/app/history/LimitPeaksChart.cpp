#include "LimitPeaksChart.hpp"

#include "Format.hpp"
#include "QtText.hpp"
#include "Theme.hpp"

#include <algorithm>
#include <cmath>
#include <QDateTime>
#include <QFontMetricsF>
#include <QLocale>
#include <QPainter>

namespace vellumkite {

namespace {

constexpr int kLabelGap = 6;

QDateTime local(Instant t) {
    return QDateTime::fromMSecsSinceEpoch(
        std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count());
}

// Where an instant falls across the plot's width.
qreal xOf(const QRectF& plot, const LimitOverview& o, Instant t) {
    const double span = secondsBetween(o.from, o.to);
    const double at = std::clamp(secondsBetween(o.from, t), 0.0, span);
    return plot.left() + plot.width() * (span > 0 ? at / span : 0);
}

} // namespace

LimitPeaksChart::LimitPeaksChart(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void LimitPeaksChart::setOverview(const LimitOverview& overview) {
    overview_ = overview;
    update();
    announce(this);
}

std::vector<QRectF> LimitPeaksChart::bars(const QRectF& plot, const LimitOverview& o) {
    std::vector<QRectF> out;
    for (const auto& p : o.fiveHour) {
        const qreal left = xOf(plot, o, p.start), right = xOf(plot, o, p.resetsAt);
        // A sliver of a window still shows.
        const qreal width = std::max<qreal>(2, right - left - 1);
        const qreal h = plot.height() * std::clamp(p.percent, 0.0, 100.0) / 100;
        out.emplace_back(left, plot.bottom() - h, width, h);
    }
    return out;
}

QSize LimitPeaksChart::sizeHint() const {
    return {Theme::scaledWidth(290), Theme::scaledWidth(120)};
}

QSize LimitPeaksChart::minimumSizeHint() const {
    return {Theme::scaledWidth(160), Theme::scaledWidth(120)};
}

QRectF LimitPeaksChart::plot() const {
    const QFontMetricsF metrics(Theme::caption());
    const qreal scale = std::ceil(metrics.horizontalAdvance(QStringLiteral("100%"))) + kLabelGap;
    return QRectF(rect()).adjusted(scale, metrics.height() / 2, 0, -(metrics.height() + 4));
}

QString LimitPeaksChart::accessibleText() const {
    return QStringLiteral("5-hour windows of the last 7 days by their peak");
}

QString LimitPeaksChart::accessibleDetail() const {
    const QLocale locale;
    QStringList lines;
    for (const auto& p : overview_.fiveHour)
        lines << QStringLiteral("%1 to %2, peak %3")
                     .arg(locale.toString(local(p.start), QStringLiteral("ddd d MMM HH:mm")),
                          locale.toString(local(p.resetsAt), QStringLiteral("HH:mm")),
                          spoken(qs(Format::percent(p.percent))));
    return lines.join(QLatin1Char('\n'));
}

void LimitPeaksChart::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette pal = palette();
    const QRectF area = plot();
    painter.setFont(Theme::caption());
    const qreal labelHeight = painter.fontMetrics().height();

    // 100 % at the top, faint; the base line under the bars.
    painter.setPen(Theme::secondary(pal));
    painter.drawText(QRectF(0, area.top() - labelHeight / 2, area.left() - kLabelGap, labelHeight),
                     Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("100%"));
    painter.setPen(QPen(Theme::tertiary(pal), 1, Qt::DotLine));
    painter.drawLine(QPointF(area.left(), area.top()), QPointF(area.right(), area.top()));
    painter.setPen(QPen(Theme::tertiary(pal), 1));
    painter.drawLine(QPointF(area.left(), area.bottom() + 0.5),
                     QPointF(area.right(), area.bottom() + 0.5));

    painter.setPen(Qt::NoPen);
    const auto rects = bars(area, overview_);
    for (std::size_t i = 0; i < rects.size(); ++i) {
        painter.setBrush(Theme::gaugeColor(overview_.fiveHour[i].percent, pal));
        const qreal radius = std::min<qreal>(2, rects[i].width() / 2);
        painter.drawRoundedRect(rects[i], radius, radius);
        if (overview_.fiveHour[i].percent > 100)
            Theme::paintClipMark(painter, rects[i], pal);
        painter.setPen(Qt::NoPen);
    }

    // The days under the bars, each under its noon.
    painter.setPen(Theme::secondary(pal));
    const QLocale locale;
    QDate day = local(overview_.from).date();
    for (int i = 0; i <= LimitOverview::kFiveHourDays; ++i, day = day.addDays(1)) {
        const Instant noon{
            std::chrono::milliseconds(QDateTime(day, QTime(12, 0)).toMSecsSinceEpoch())};
        if (noon < overview_.from || noon > overview_.to)
            continue;
        const QString label = locale.toString(day, QStringLiteral("ddd"));
        const qreal w = painter.fontMetrics().horizontalAdvance(label) + 2;
        QRectF box(xOf(area, overview_, noon) - w / 2, area.bottom() + 3, w, labelHeight);
        box.moveLeft(std::clamp(box.left(), area.left(), area.right() - w));
        painter.drawText(box, Qt::AlignHCenter | Qt::AlignTop, label);
    }
}

} // namespace vellumkite
