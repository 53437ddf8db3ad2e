#include "WeekLinesChart.hpp"

#include "Format.hpp"
#include "QtText.hpp"
#include "Theme.hpp"

#include <algorithm>
#include <QDateTime>
#include <QLocale>
#include <QPainter>

namespace vellumkite {

namespace {

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

WeekLinesChart::WeekLinesChart(QWidget* parent) : LimitChart(parent) {}

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

QString WeekLinesChart::accessibleText() const {
    return QStringLiteral("Weekly limit over the last %1 weeks").arg(overview().weeks.size());
}

QString WeekLinesChart::accessibleDetail() const {
    const QLocale locale;
    QStringList out;
    for (const auto& w : overview().weeks) {
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
    const double scale = top(overview());
    const QString topValue = percentText(scale);
    const QRectF area = plot(topValue);
    paintFrame(painter, area, topValue, area.bottom() - area.height() * 100 / scale);
    const qreal labelHeight = painter.fontMetrics().height();

    // The earlier weeks first, so that this week's line lies on top.
    const auto polys = lines(area, overview());
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
