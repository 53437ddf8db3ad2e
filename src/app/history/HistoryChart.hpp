#pragma once

#include "Chart.hpp"
#include "HistoryOverview.hpp"

#include <array>
#include <QColor>
#include <QRectF>
#include <vector>

namespace vellumkite {

// The last 30 days as bars, stacked by model family, today at the right, with a dashed line at
// the median day. Weight or cost; the day's figures show in a tooltip under the pointer.
class HistoryChart : public Chart {
    Q_OBJECT

public:
    enum class Measure { weight, cost };

    struct Segment {
        QRectF rect;
        HistoryOverview::Family family;
    };
    struct Column {
        QRectF slot;                   // the day's whole column, for hovering
        std::vector<Segment> segments; // bottom up
        bool clipped = false;          // a spike cut at the top of the chart
    };
    // The columns for the chart bounds: heights against the largest day (never a scale below 1,
    // so that near-empty days stay low; a lone spike is clipped, see SpikeScale); a day without
    // usage has no segments.
    static std::vector<Column>
    columns(const QRectF& bounds, const std::vector<HistoryOverview::Day>& days, Measure measure);
    static double value(const HistoryOverview::Day& day, Measure measure);
    static QColor familyColor(HistoryOverview::Family family, const QPalette& palette);
    // The tooltip of one day: its date, tokens, weight, cost and models.
    static QString dayText(const HistoryOverview::Day& day);

    explicit HistoryChart(QWidget* parent = nullptr);

    void setDays(std::vector<HistoryOverview::Day> days, double medianWeight, double medianCost);
    void setMeasure(Measure measure);
    Measure measure() const { return measure_; }

    // What the bars show to the eye, for the ear: "Weight per day, last 30 days", with every day's
    // figures, one line a day, as the description.
    QString accessibleText() const override;
    QString accessibleDetail() const override;

    // The bars' area: right of the values' scale, which is as wide as its widest value, and
    // above the dates.
    QRectF plotArea() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    int scaleWidth() const;
    int axisHeight() const;

    std::vector<HistoryOverview::Day> days_;
    double medianWeight_ = 0, medianCost_ = 0;
    Measure measure_ = Measure::weight;
};

} // namespace vellumkite
