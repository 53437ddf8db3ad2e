#pragma once

#include "Accessible.hpp"

#include <QStringList>
#include <QWidget>

namespace vellumkite {

// A row of mutually exclusive segments, one of them selected, like a native segmented picker.
// Greyed out and inert while disabled, but it still shows the selection.
class SegmentedControl : public QWidget, public Accessible {
    Q_OBJECT

public:
    explicit SegmentedControl(QStringList options, QWidget* parent = nullptr);

    const QStringList& options() const { return options_; }
    int currentIndex() const { return current_; }
    // Shows a selection without announcing it; -1 selects nothing.
    void setCurrentIndex(int index);

    // The segment at a point, or -1.
    int segmentAt(const QPoint& point) const;
    QRectF segmentRect(int index) const;

    QSize sizeHint() const override;
    // Wide enough for every option in full.
    QSize minimumSizeHint() const override;
    // Whether every option shows in full at the current width.
    bool fits() const;
    // Selects an option as a click on it would, announcing it.
    void activate(int index) { choose(index); }

    // A group of radio buttons, named by the control's accessible name.
    QAccessible::Role accessibleRole() const override { return QAccessible::Grouping; }
    QString accessibleText() const override { return accessibleName(); }
    QAccessibleInterface* accessibleInterface(QWidget*) const override;

signals:
    // The user chose a segment (also the one already selected).
    void activated(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void choose(int index);

    QStringList options_;
    int current_ = -1;
};

} // namespace vellumkite
