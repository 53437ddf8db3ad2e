#pragma once

#include "Accessible.hpp"
#include "Symbols.hpp"
#include "Tip.hpp"

#include <QColor>
#include <QPalette>
#include <QRectF>
#include <QStringList>
#include <QWidget>

namespace vellumkite {

// A coaching tip on a faintly tinted card: the level's symbol, the title and the text. The
// compact card has tighter padding and cuts the text off after three lines.
class TipCard : public QWidget, public Accessible {
    Q_OBJECT

public:
    static constexpr int kCompactLines = 3;

    static Symbol symbol(Tip::Level level);
    // The card's tint over the palette's window.
    static QColor background(Tip::Level level, const QPalette& palette);
    // The symbol's colour, a legible graphic on the card.
    static QColor color(Tip::Level level, const QPalette& palette);
    // The palette with the card's background as its window, for the text on the card.
    static QPalette cardPalette(Tip::Level level, const QPalette& palette);
    static qreal padding(bool compact) { return compact ? 8 : 10; }

    // Where everything goes on a card of the given width.
    struct Layout {
        QRectF symbol;
        QRectF title; // the title's lines, one under the other
        QRectF text;  // empty when the tip has no text
        QStringList titleLines;
        QStringList textLines;
        qreal titleLineHeight = 0;
        qreal textLineHeight = 0;
        qreal height = 0;
    };
    static Layout layout(const Tip& tip, bool compact, qreal width);

    explicit TipCard(Tip tip = {}, bool compact = false, QWidget* parent = nullptr);

    const Tip& tip() const { return tip_; }
    void setTip(const Tip& tip);
    bool isCompact() const { return compact_; }
    void setCompact(bool compact);

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // The title, then the text as its description.
    QAccessible::Role accessibleRole() const override { return QAccessible::StaticText; }
    QString accessibleText() const override { return QString::fromStdString(tip_.title); }
    QString accessibleDetail() const override { return QString::fromStdString(tip_.text); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Tip tip_;
    bool compact_;
};

} // namespace vellumkite
