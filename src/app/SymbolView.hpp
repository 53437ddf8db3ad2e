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

    Symbol symbol() const { return m_symbol; }
    void setSymbolSize(int size);

    QSize sizeHint() const override { return {m_size, m_size}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Symbol m_symbol;
    int m_size;
    TextLine::Role m_role;
};

} // namespace vellumkite
