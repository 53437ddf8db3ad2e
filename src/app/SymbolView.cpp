#include "SymbolView.hpp"

#include "Theme.hpp"

#include <QPainter>

namespace vellumkite {

SymbolView::SymbolView(Symbol symbol, int size, TextLine::Role role, QWidget* parent)
    : QWidget(parent), m_symbol(symbol), m_size(size), m_role(role) {
    setFixedSize(size, size);
}

void SymbolView::setSymbolSize(int size) {
    if (size == m_size)
        return;
    m_size = size;
    setFixedSize(size, size);
    update();
}

void SymbolView::paintEvent(QPaintEvent*) {
    QColor color = Theme::primary(palette());
    if (m_role == TextLine::Role::secondary)
        color = Theme::secondary(palette());
    else if (m_role == TextLine::Role::tertiary)
        color = Theme::tertiary(palette());
    QPainter painter(this);
    Symbols::paint(painter, m_symbol, QRectF(rect()), color);
}

} // namespace vellumkite
