#pragma once

#include "Accessible.hpp"

#include <QColor>
#include <QPalette>
#include <QRectF>
#include <QWidget>
#include <vector>

namespace vellumkite {

// A bar chart of recent per-minute usage, oldest bar at the left. The caller sets its height.
class Sparkline : public QWidget, public Accessible {
    Q_OBJECT

public:
    static constexpr qreal kActiveOpacity = 0.85;
    static constexpr qreal kIdleOpacity = 0.15;

    struct Bar {
        QRectF rect;
        qreal opacity;        // of the accent colour
        bool clipped = false; // a spike cut at the top of the chart
    };

    // The bars for the given chart bounds. The scale is the largest value (but a lone spike is
    // clipped, see SpikeScale) and never below 1, so small values are not blown up to full
    // height; every bar is at least 1 wide and 2 high and stands on the bottom edge. A value
    // that is not a finite number counts as 0.
    static std::vector<Bar> bars(const QRectF& bounds, const std::vector<double>& values);
    // A bar's colour: the accent, legible as a graphic where the bar shows usage.
    static QColor barColor(const Bar& bar, const QPalette& palette);

    explicit Sparkline(std::vector<double> values = {}, QWidget* parent = nullptr);

    const std::vector<double>& values() const { return values_; }
    void setValues(std::vector<double> values);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // "Usage per minute, last 30 minutes", and its busiest minute as the description.
    QAccessible::Role accessibleRole() const override { return QAccessible::Chart; }
    QString accessibleText() const override;
    QString accessibleDetail() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<double> values_;
};

} // namespace vellumkite
