#include "Dot.hpp"

#include "Theme.hpp"

#include <QPainter>

namespace vellumkite {

Dot::Dot(QWidget* parent) : QWidget(parent) {
    setFixedSize(kDiameter, kDiameter);
}

void Dot::setLevel(Level level) {
    level_ = level;
    update();
}

QString Dot::accessibleText() const {
    switch (level_) {
    case Level::info:
        return QStringLiteral("Size fine");
    case Level::warn:
        return QStringLiteral("Size getting large");
    case Level::alert:
        return QStringLiteral("Size very large");
    }
    return {};
}

QColor Dot::color() const {
    return Theme::levelColor(level_, palette());
}

void Dot::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color());
    painter.drawEllipse(QRectF(0, 0, kDiameter, kDiameter));
}

} // namespace vellumkite
