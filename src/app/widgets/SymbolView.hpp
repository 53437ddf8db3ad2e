#pragma once

#include "Accessible.hpp"
#include "Symbols.hpp"
#include "TextLine.hpp"

#include <QWidget>

namespace vellumkite {

// One of our symbols at a fixed size, tinted with a colour role of the current palette.
class SymbolView : public QWidget, public Accessible {
    Q_OBJECT

public:
    SymbolView(Symbol symbol, int size, TextLine::Role role, QWidget* parent = nullptr);

    Symbol symbol() const { return symbol_; }
    void setSymbolSize(int size);

    QSize sizeHint() const override { return {size_, size_}; }

    // Named by its tooltip: what it is for.
    QAccessible::Role accessibleRole() const override { return QAccessible::Graphic; }
    QString accessibleText() const override { return toolTip(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Symbol symbol_;
    int size_;
    TextLine::Role role_;
};

} // namespace vellumkite
