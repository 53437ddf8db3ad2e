#pragma once

#include "Symbols.hpp"
#include "TextLine.hpp"

#include <QWidget>

namespace vellumkite {

// One of our symbols at a fixed size, tinted with a colour role of the current palette.
class SymbolView : public QWidget {
    Q_OBJECT

public:
    SymbolView(Symbol symbol, int size, TextLine::Role role, QWidget* parent = nullptr);

    Symbol symbol() const { return symbol_; }
    void setSymbolSize(int size);

    QSize sizeHint() const override { return {size_, size_}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Symbol symbol_;
    int size_;
    TextLine::Role role_;
};

} // namespace vellumkite
