#include "Divider.hpp"

#include "Theme.hpp"

#include <QPainter>

namespace vellumkite {

namespace {

constexpr qreal kOpacity = 0.14;

} // namespace

Divider::Divider(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFixedHeight(1);
}

void Divider::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Theme::withOpacity(Theme::primary(palette()), kOpacity));
}

} // namespace vellumkite
