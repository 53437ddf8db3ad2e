#pragma once

#include "Accessible.hpp"

#include <QRectF>
#include <QSize>
#include <QWidget>

class QPainter;

namespace vellumkite {

// A drawn chart of the History window's kind: sized for the font the layouts were drawn for and
// growing with it, told to assistive technology as a chart, its scale's values in the margin left
// of the plot and its figures standing on a faint base line.
class Chart : public QWidget, public Accessible {
    Q_OBJECT

public:
    // Between the scale's values and the plot.
    static constexpr int kLabelGap = 6;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    QAccessible::Role accessibleRole() const override { return QAccessible::Chart; }

protected:
    // The sizes at a 12-pixel body text.
    Chart(QSize hint, QSize least, QSizePolicy::Policy vertical, QWidget* parent);

    // A value of the scale, right-aligned in the margin and centred on `y`, in the painter's font
    // and pen.
    static void paintScaleValue(QPainter& painter, const QRectF& plot, qreal y,
                                const QString& text);
    static void paintBaseLine(QPainter& painter, const QRectF& plot, const QPalette& palette);

private:
    QSize hint_, least_;
};

} // namespace vellumkite
