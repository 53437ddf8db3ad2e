#pragma once

#include "LimitChart.hpp"

#include <QPolygonF>
#include <QRectF>
#include <vector>

namespace vellumkite {

// The weekly percentage of the last 4 weeks, a line per week from its start to its reset, laid
// over each other: this week in the accent colour, the earlier ones fainter.
class WeekLinesChart : public LimitChart {
    Q_OBJECT

public:
    explicit WeekLinesChart(QWidget* parent = nullptr);

    // Each week's line in the plot: across by the time into the week, up by the percentage
    // against the larger of 100 % and the highest reading.
    static std::vector<QPolygonF> lines(const QRectF& plot, const LimitOverview& overview);

    QString accessibleText() const override;
    // One line a week: "Week to Sat 8 Mar 09:00: 64 % at its last reading".
    QString accessibleDetail() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace vellumkite
