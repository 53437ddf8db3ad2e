#pragma once

#include "LimitChart.hpp"

#include <QRectF>
#include <vector>

namespace vellumkite {

// The 5-hour windows of the last 7 days as bars of their peak percentage, each across the hours
// it ran and coloured as the gauges are, against 100 %.
class LimitPeaksChart : public LimitChart {
    Q_OBJECT

public:
    explicit LimitPeaksChart(QWidget* parent = nullptr);

    // Each window's bar in the plot: from its start to its reset (within the 7 days), as high as
    // its peak, a peak over 100 % cut at the top.
    static std::vector<QRectF> bars(const QRectF& plot, const LimitOverview& overview);

    QString accessibleText() const override;
    // One line a window: "Sat 1 Mar 09:00 to 14:00, peak 62 %".
    QString accessibleDetail() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace vellumkite
