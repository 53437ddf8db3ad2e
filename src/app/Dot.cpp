#include "Dot.hpp"

#include <QPainter>

namespace vellumkite {

Dot::Dot(QWidget* parent) : QWidget(parent) {
    setFixedSize(kDiameter, kDiameter);
}

void Dot::setColor(const QColor& color) {
    m_color = color;
    update();
}

void Dot::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(m_color);
    painter.drawEllipse(QRectF(0, 0, kDiameter, kDiameter));
}

} // namespace vellumkite
