#include "LimitPeaksChart.hpp"

#include "Format.hpp"
#include "QtText.hpp"
#include "Theme.hpp"

#include <algorithm>
#include <QDateTime>
#include <QLocale>
#include <QPainter>

namespace vellumkite {

namespace {

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

LimitPeaksChart::LimitPeaksChart(QWidget* parent) : LimitChart(parent) {}

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

QString LimitPeaksChart::accessibleText() const {
    return QStringLiteral("5-hour windows of the last 7 days by their peak");
}

QString LimitPeaksChart::accessibleDetail() const {
    const QLocale locale;
    QStringList lines;
    for (const auto& p : overview().fiveHour)
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
    const LimitOverview& o = overview();
    // 100 % at the top.
    const QString top = QStringLiteral("100%");
    const QRectF area = plot(top);
    paintFrame(painter, area, top, area.top());
    const qreal labelHeight = painter.fontMetrics().height();

    painter.setPen(Qt::NoPen);
    const auto rects = bars(area, o);
    for (std::size_t i = 0; i < rects.size(); ++i) {
        painter.setBrush(Theme::gaugeColor(o.fiveHour[i].percent, pal));
        const qreal radius = std::min<qreal>(2, rects[i].width() / 2);
        painter.drawRoundedRect(rects[i], radius, radius);
        if (o.fiveHour[i].percent > 100)
            Theme::paintClipMark(painter, rects[i], pal);
        painter.setPen(Qt::NoPen);
    }

    // The days under the bars, each under its noon.
    painter.setPen(Theme::secondary(pal));
    const QLocale locale;
    QDate day = local(o.from).date();
    for (int i = 0; i <= LimitOverview::kFiveHourDays; ++i, day = day.addDays(1)) {
        const Instant noon{
            std::chrono::milliseconds(QDateTime(day, QTime(12, 0)).toMSecsSinceEpoch())};
        if (noon < o.from || noon > o.to)
            continue;
        const QString label = locale.toString(day, QStringLiteral("ddd"));
        const qreal w = painter.fontMetrics().horizontalAdvance(label) + 2;
        QRectF box(xOf(area, o, noon) - w / 2, area.bottom() + 3, w, labelHeight);
        box.moveLeft(std::clamp(box.left(), area.left(), area.right() - w));
        painter.drawText(box, Qt::AlignHCenter | Qt::AlignTop, label);
    }
}

} // namespace vellumkite
