#pragma once

#include <QColor>
#include <QWidget>

namespace vellumkite {

// A small filled circle, the current chat's level at a glance.
class Dot : public QWidget {
    Q_OBJECT

public:
    static constexpr int kDiameter = 8;

    explicit Dot(QWidget* parent = nullptr);

    QColor color() const { return color_; }
    void setColor(const QColor& color);

    QSize sizeHint() const override { return {kDiameter, kDiameter}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor color_;
};

} // namespace vellumkite
