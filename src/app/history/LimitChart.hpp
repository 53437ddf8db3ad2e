#pragma once

#include "Chart.hpp"
#include "LimitOverview.hpp"

namespace vellumkite {

// What the two charts of the limit readings share: the overview they draw, their size, and their
// frame, a percentage scale whose top value stands at the left, a dotted line at 100 % and a line
// of labels under the plot.
class LimitChart : public Chart {
    Q_OBJECT

public:
    void setOverview(const LimitOverview& overview);

protected:
    explicit LimitChart(QWidget* parent);

    const LimitOverview& overview() const { return overview_; }

    // The plot: right of the scale's top value and above the labels.
    QRectF plot(const QString& topValue) const;
    // Draws the frame, `full` being the height of 100 %, and leaves the caption font set.
    void paintFrame(QPainter& painter, const QRectF& plot, const QString& topValue,
                    qreal full) const;

private:
    LimitOverview overview_;
};

} // namespace vellumkite
