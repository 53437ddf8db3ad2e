#include "WeekLinesChart.hpp"

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

double top(const LimitOverview& o) {
    double out = 100;
    for (const auto& w : o.weeks)
        for (const auto& r : w.readings)
            out = std::max(out, r.percent);
    return out;
}

QString percentText(double p) {
    return qs(Format::percent(p));
}

} // namespace

WeekLinesChart::WeekLinesChart(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void WeekLinesChart::setOverview(const LimitOverview& overview) {
    overview_ = overview;
    update();
    announce(this);
}

std::vector<QPolygonF> WeekLinesChart::lines(const QRectF& plot, const LimitOverview& o) {
    std::vector<QPolygonF> out;
    const double scale = top(o);
    for (const auto& w : o.weeks) {
        const double length = secondsBetween(w.start, w.resetsAt);
        QPolygonF line;
        for (const auto& r : w.readings) {
            const double into = length > 0 ? secondsBetween(w.start, r.at) / length : 0;
            line << QPointF(plot.left() + plot.width() * std::clamp(into, 0.0, 1.0),
                            plot.bottom() - plot.height() * std::max(0.0, r.percent) / scale);
        }
        out.push_back(line);
    }
    return out;
}

QSize WeekLinesChart::sizeHint() const {
    return {Theme::scaledWidth(290), Theme::scaledWidth(120)};
}

QSize WeekLinesChart::minimumSizeHint() const {
    return {Theme::scaledWidth(160), Theme::scaledWidth(120)};
}

QRectF WeekLinesChart::plot() const {
    const QFontMetricsF metrics(Theme::caption());
    const qreal scale =
        std::ceil(metrics.horizontalAdvance(percentText(top(overview_)))) + kLabelGap;
    return QRectF(rect()).adjusted(scale, metrics.height() / 2, 0, -(metrics.height() + 4));
}

QString WeekLinesChart::accessibleText() const {
    return QStringLiteral("Weekly limit over the last %1 weeks").arg(overview_.weeks.size());
}

QString WeekLinesChart::accessibleDetail() const {
    const QLocale locale;
    QStringList out;
    for (const auto& w : overview_.weeks) {
        const auto reset = QDateTime::fromMSecsSinceEpoch(
            std::chrono::duration_cast<std::chrono::milliseconds>(w.resetsAt.time_since_epoch())
                .count());
        out << QStringLiteral("Week to %1: %2 at its last reading")
                   .arg(locale.toString(reset, QStringLiteral("ddd d MMM HH:mm")),
                        spoken(percentText(w.readings.empty() ? 0 : w.readings.back().percent)));
    }
    return out.join(QLatin1Char('\n'));
}

void WeekLinesChart::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette pal = palette();
    const QRectF area = plot();
    painter.setFont(Theme::caption());
    const qreal labelHeight = painter.fontMetrics().height();

    painter.setPen(Theme::secondary(pal));
    painter.drawText(QRectF(0, area.top() - labelHeight / 2, area.left() - kLabelGap, labelHeight),
                     Qt::AlignRight | Qt::AlignVCenter, percentText(top(overview_)));
    painter.setPen(QPen(Theme::tertiary(pal), 1, Qt::DotLine));
    const qreal full = area.bottom() - area.height() * 100 / top(overview_);
    painter.drawLine(QPointF(area.left(), full), QPointF(area.right(), full));
    painter.setPen(QPen(Theme::tertiary(pal), 1));
    painter.drawLine(QPointF(area.left(), area.bottom() + 0.5),
                     QPointF(area.right(), area.bottom() + 0.5));

    // The earlier weeks first, so that this week's line lies on top.
    const auto polys = lines(area, overview_);
    for (std::size_t i = 0; i < polys.size(); ++i) {
        const bool current = i + 1 == polys.size();
        const QColor color = current ? Theme::accent(pal) : Theme::secondary(pal);
        painter.setPen(QPen(color, current ? 2 : 1.25));
        painter.drawPolyline(polys[i]);
    }

    painter.setPen(Theme::secondary(pal));
    painter.drawText(QRectF(area.left(), area.bottom() + 3, area.width(), labelHeight),
                     Qt::AlignLeft | Qt::AlignTop, QStringLiteral("Start of the week"));
    painter.drawText(QRectF(area.left(), area.bottom() + 3, area.width(), labelHeight),
                     Qt::AlignRight | Qt::AlignTop, QStringLiteral("Reset"));
}

} // namespace vellumkite
