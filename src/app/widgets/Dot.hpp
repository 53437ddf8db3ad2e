#pragma once

#include "Accessible.hpp"
#include "Thresholds.hpp"

#include <QColor>
#include <QWidget>

namespace vellumkite {

// A small filled circle, the current chat's level at a glance, in the level's colour for the
// palette it is drawn with.
class Dot : public QWidget, public Accessible {
    Q_OBJECT

public:
    static constexpr int kDiameter = 8;

    explicit Dot(QWidget* parent = nullptr);

    Level level() const { return level_; }
    void setLevel(Level level);
    QColor color() const;

    QSize sizeHint() const override { return {kDiameter, kDiameter}; }

    QAccessible::Role accessibleRole() const override { return QAccessible::Graphic; }
    QString accessibleText() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Level level_ = Level::info;
};

} // namespace vellumkite
