#pragma once

#include "Accessible.hpp"

#include <QColor>
#include <QRectF>
#include <QWidget>

namespace vellumkite {

// A horizontal capsule gauge for a percentage: a faint track and a coloured fill.
class UsageBar : public QWidget, public Accessible {
    Q_OBJECT

public:
    // Where the track and the fill go in a bar of the given bounds, and their colours.
    struct Geometry {
        QRectF track;
        QRectF fill; // zero width when there is nothing to fill
        QColor trackColor;
        QColor fillColor;
    };

    // The fill's width follows the percentage clamped to 0-100; its colour follows the
    // unclamped value and stands out from the track as a graphic must. A percentage that is not
    // a number fills nothing.
    static Geometry geometry(const QRectF& bounds, double percent, const QPalette& palette);
    // Draws a bar into bounds; the track takes its colour from the palette.
    static void paintBar(QPainter& painter, const QRectF& bounds, double percent,
                         const QPalette& palette);

    explicit UsageBar(double percent = 0, int height = 6, QWidget* parent = nullptr);

    double percent() const { return percent_; }
    void setPercent(double percent);
    int barHeight() const { return height_; }
    void setBarHeight(int height);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    QAccessible::Role accessibleRole() const override { return QAccessible::ProgressBar; }
    QString accessibleText() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double percent_;
    int height_;
};

} // namespace vellumkite
