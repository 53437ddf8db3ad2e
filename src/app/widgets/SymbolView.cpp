#include "SymbolView.hpp"

#include "Theme.hpp"

#include <QPainter>

namespace vellumkite {

SymbolView::SymbolView(Symbol symbol, int size, TextLine::Role role, QWidget* parent)
    : QWidget(parent), symbol_(symbol), size_(size), role_(role) {
    setFixedSize(size, size);
}

void SymbolView::setSymbolSize(int size) {
    if (size == size_)
        return;
    size_ = size;
    setFixedSize(size, size);
    update();
}

void SymbolView::paintEvent(QPaintEvent*) {
    QColor color = Theme::primary(palette());
    if (role_ == TextLine::Role::secondary)
        color = Theme::secondary(palette());
    else if (role_ == TextLine::Role::tertiary)
        color = Theme::tertiary(palette());
    QPainter painter(this);
    Symbols::paint(painter, symbol_, QRectF(rect()), color);
}

} // namespace vellumkite
