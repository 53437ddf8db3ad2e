#include "Dot.hpp"

#include <QPainter>

namespace vellumkite {

Dot::Dot(QWidget* parent) : QWidget(parent) {
    setFixedSize(kDiameter, kDiameter);
}

void Dot::setColor(const QColor& color) {
    color_ = color;
    update();
}

void Dot::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color_);
    painter.drawEllipse(QRectF(0, 0, kDiameter, kDiameter));
}

} // namespace vellumkite
