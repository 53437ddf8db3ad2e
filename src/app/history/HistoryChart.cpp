#include "HistoryChart.hpp"

#include "FamilyColors.hpp"
#include "Format.hpp"
#include "QtText.hpp"
#include "SpikeScale.hpp"
#include "Theme.hpp"

#include <algorithm>
#include <cmath>
#include <QDate>
#include <QFontMetricsF>
#include <QHelpEvent>
#include <QLocale>
#include <QPainter>
#include <QToolTip>

namespace vellumkite {

namespace {

constexpr qreal kCornerRadius = 2;

SpikeScale scaleOf(const std::vector<HistoryOverview::Day>& days, HistoryChart::Measure m) {
    std::vector<double> values;
    values.reserve(days.size());
    for (const auto& d : days)
        values.push_back(HistoryChart::value(d, m));
    return SpikeScale::of(values, m == HistoryChart::Measure::cost ? 0.01 : 1.0);
}

QString valueText(double v, HistoryChart::Measure m) {
    if (m == HistoryChart::Measure::cost)
        return qs(Format::dollars(v));
    return qs(Format::tokens(Format::rounded(v).value_or(0)));
}

QDate qdate(const LocalDate& d) {
    return QDate(static_cast<int>(d.ymd.year()),
                 static_cast<int>(static_cast<unsigned>(d.ymd.month())),
                 static_cast<int>(static_cast<unsigned>(d.ymd.day())));
}

} // namespace

double HistoryChart::value(const HistoryOverview::Day& day, Measure measure) {
    return measure == Measure::weight ? day.totalWeight() : day.totalCost();
}

QColor HistoryChart::familyColor(HistoryOverview::Family family, const QPalette& palette) {
    return FamilyColors::of(HistoryOverview::nameOf(family), palette);
}

std::vector<HistoryChart::Column>
HistoryChart::columns(const QRectF& bounds, const std::vector<HistoryOverview::Day>& days,
                      Measure measure) {
    std::vector<Column> out;
    if (days.empty())
        return out;
    const QRectF chart = bounds.normalized();
    const SpikeScale spike = scaleOf(days, measure);
    const double scale = spike.scale;
    const qreal slot = chart.width() / static_cast<qreal>(days.size());
    const qreal gap = std::min<qreal>(4, slot / 4);
    for (std::size_t i = 0; i < days.size(); ++i) {
        Column c;
        const qreal x = chart.left() + static_cast<qreal>(i) * slot;
        c.slot = QRectF(x, chart.top(), slot, chart.height());
        qreal bottom = chart.bottom();
        c.clipped = spike.clips(value(days[i], measure));
        const auto& parts = measure == Measure::weight ? days[i].weight : days[i].cost;
        for (std::size_t f = 0; f < parts.size(); ++f) {
            const double v = parts[f];
            if (!(v > 0) || bottom <= chart.top())
                continue;
            // A clipped day's segments stop at the top, each in proportion.
            const qreal h = std::min(chart.height() * v / scale, bottom - chart.top());
            c.segments.push_back({QRectF(x + gap / 2, bottom - h, slot - gap, h),
                                  static_cast<HistoryOverview::Family>(f)});
            bottom -= h;
        }
        out.push_back(std::move(c));
    }
    return out;
}

QString HistoryChart::dayText(const HistoryOverview::Day& day) {
    const QLocale locale;
    QString text = locale.toString(qdate(day.date), QStringLiteral("ddd d MMM"));
    if (day.usage.replies == 0)
        return text + QStringLiteral("\nNo usage");
    text +=
        QStringLiteral("\n%1 tokens \u00b7 weight %2 \u00b7 %3")
            .arg(qs(Format::tokens(day.usage.totalTokens())),
                 qs(Format::tokens(Format::rounded(day.totalWeight()).value_or(0))),
                 day.costComplete ? qs(Format::dollars(day.totalCost())) : qs(Format::kNoValue));
    QStringList models;
    for (const auto& m : day.models)
        models << qs(m);
    return text + QLatin1Char('\n') + models.join(QStringLiteral(", "));
}

QString HistoryChart::accessibleText() const {
    return (measure_ == Measure::weight ? QStringLiteral("Weight") : QStringLiteral("Cost")) +
           QStringLiteral(" per day, last %1 days").arg(days_.size());
}

QString HistoryChart::accessibleDetail() const {
    QStringList lines;
    for (const auto& d : days_)
        lines << dayText(d).replace(QLatin1Char('\n'), QStringLiteral(", "));
    return lines.join(QLatin1Char('\n'));
}

HistoryChart::HistoryChart(QWidget* parent)
    : Chart({600, 220}, {240, 120}, QSizePolicy::Expanding, parent) {
    setMouseTracking(true);
}

void HistoryChart::setDays(std::vector<HistoryOverview::Day> days, double medianWeight,
                           double medianCost) {
    days_ = std::move(days);
    medianWeight_ = medianWeight;
    medianCost_ = medianCost;
    update();
    announce(this);
}

void HistoryChart::setMeasure(Measure measure) {
    measure_ = measure;
    update();
    announce(this);
}

int HistoryChart::scaleWidth() const {
    // As wide as the widest value the scale shows.
    const QFontMetricsF metrics(Theme::caption());
    const double median = measure_ == Measure::weight ? medianWeight_ : medianCost_;
    const qreal widest =
        std::max(metrics.horizontalAdvance(valueText(scaleOf(days_, measure_).scale, measure_)),
                 metrics.horizontalAdvance(valueText(median, measure_)));
    return static_cast<int>(std::ceil(widest)) + kLabelGap;
}

int HistoryChart::axisHeight() const {
    return static_cast<int>(std::ceil(QFontMetricsF(Theme::caption()).height())) + 4;
}

QRectF HistoryChart::plotArea() const {
    return QRectF(rect()).adjusted(scaleWidth(), 6, 0, -axisHeight());
}

void HistoryChart::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette pal = palette();
    const QRectF plot = plotArea();

    // The scale: the top value and a faint line under the bars.
    painter.setFont(Theme::caption());
    painter.setPen(Theme::secondary(pal));
    const double scale = scaleOf(days_, measure_).scale;
    paintScaleValue(painter, plot, plot.top(), valueText(scale, measure_));
    paintBaseLine(painter, plot, pal);

    painter.setPen(Qt::NoPen);
    const auto cols = columns(plot, days_, measure_);
    for (const auto& c : cols)
        for (std::size_t s = 0; s < c.segments.size(); ++s) {
            const auto& seg = c.segments[s];
            painter.setBrush(familyColor(seg.family, pal));
            const bool top = s + 1 == c.segments.size();
            const qreal radius =
                top ? std::min({kCornerRadius, seg.rect.width() / 2, seg.rect.height() / 2}) : 0;
            painter.drawRoundedRect(seg.rect, radius, radius);
            if (top && c.clipped)
                Theme::paintClipMark(painter, seg.rect, pal);
            painter.setPen(Qt::NoPen);
        }

    // The median day, dashed, with its value at the left.
    const double median = measure_ == Measure::weight ? medianWeight_ : medianCost_;
    if (median > 0) {
        const qreal y = plot.bottom() - plot.height() * median / scale;
        QPen dash(Theme::secondary(pal), 1, Qt::DashLine);
        painter.setPen(dash);
        painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        painter.setPen(Theme::secondary(pal));
        paintScaleValue(painter, plot, y, valueText(median, measure_));
    }

    // Dates under every seventh day, counted back from today.
    painter.setPen(Theme::secondary(pal));
    const QLocale locale;
    for (std::size_t i = 0; i < cols.size(); ++i) {
        if ((cols.size() - 1 - i) % 7 != 0)
            continue;
        const bool today = i + 1 == cols.size();
        const QString label = today
                                  ? QStringLiteral("Today")
                                  : locale.toString(qdate(days_[i].date), QStringLiteral("d MMM"));
        // Centred under its day, but kept inside the chart.
        const qreal w = painter.fontMetrics().horizontalAdvance(label) + 2;
        QRectF box(cols[i].slot.center().x() - w / 2, plot.bottom() + 3, w, axisHeight() - 3);
        if (box.right() > plot.right())
            box.moveRight(plot.right());
        if (box.left() < plot.left())
            box.moveLeft(plot.left());
        painter.drawText(box, Qt::AlignHCenter | Qt::AlignTop, label);
    }
}

bool HistoryChart::event(QEvent* e) {
    if (e->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(e);
        const auto cols = columns(plotArea(), days_, measure_);
        for (std::size_t i = 0; i < cols.size(); ++i)
            if (cols[i].slot.contains(help->pos())) {
                QToolTip::showText(help->globalPos(), dayText(days_[i]), this,
                                   cols[i].slot.toAlignedRect());
                return true;
            }
        QToolTip::hideText();
        e->ignore();
        return true;
    }
    return Chart::event(e);
}

} // namespace vellumkite
