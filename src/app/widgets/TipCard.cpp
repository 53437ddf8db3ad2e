#include "TipCard.hpp"

#include "Theme.hpp"

#include <algorithm>
#include <cmath>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

namespace vellumkite {

namespace {

constexpr qreal kSpacing = 8;
constexpr qreal kLineGap = 2;
constexpr qreal kCornerRadius = 8;
constexpr qreal kBackgroundOpacity = 0.12;

QFont titleFont() {
    QFont font = Theme::callout();
    font.setWeight(QFont::DemiBold);
    return font;
}

// A symbol set at the title-3 size reaches a little above the cap height and below the baseline.
qreal symbolSide() {
    return std::round(QFontInfo(Theme::title3()).pixelSize() * 1.15);
}

QColor tint(Tip::Level level, const QPalette& palette) {
    switch (level) {
    case Tip::Level::info:
        return Theme::accent(palette);
    case Tip::Level::warn:
        return Theme::orange();
    case Tip::Level::alert:
        return Theme::red();
    }
    return Theme::accent(palette);
}

} // namespace

Symbol TipCard::symbol(Tip::Level level) {
    switch (level) {
    case Tip::Level::info:
        return Symbol::lightbulb;
    case Tip::Level::warn:
        return Symbol::exclamationCircle;
    case Tip::Level::alert:
        return Symbol::exclamationTriangle;
    }
    return Symbol::lightbulb;
}

QColor TipCard::background(Tip::Level level, const QPalette& palette) {
    return Theme::over(Theme::withOpacity(tint(level, palette), kBackgroundOpacity),
                       palette.color(QPalette::Window));
}

QColor TipCard::color(Tip::Level level, const QPalette& palette) {
    return Theme::legible(tint(level, palette), background(level, palette),
                          Theme::kGraphicContrast);
}

QPalette TipCard::cardPalette(Tip::Level level, const QPalette& palette) {
    QPalette card = palette;
    card.setColor(QPalette::Window, background(level, palette));
    return card;
}

TipCard::Layout TipCard::layout(const Tip& tip, bool compact, qreal width) {
    Layout out;
    const qreal pad = padding(compact);
    const qreal side = symbolSide();
    const qreal columnLeft = pad + side + kSpacing;
    const qreal columnWidth = std::max<qreal>(1, width - columnLeft - pad);

    const QFont tFont = titleFont();
    const QFont cFont = Theme::caption();
    out.titleLineHeight = QFontMetricsF(tFont).lineSpacing();
    out.textLineHeight = QFontMetricsF(cFont).lineSpacing();
    out.titleLines = Theme::wrapText(QString::fromStdString(tip.title), tFont, columnWidth);
    out.textLines = Theme::wrapText(QString::fromStdString(tip.text), cFont, columnWidth,
                                    compact ? kCompactLines : 0);

    out.title = QRectF(columnLeft, pad, columnWidth,
                       static_cast<qreal>(out.titleLines.size()) * out.titleLineHeight);
    qreal columnHeight = out.title.height();
    if (!out.textLines.isEmpty()) {
        const qreal top = out.titleLines.isEmpty() ? pad : out.title.bottom() + kLineGap;
        out.text = QRectF(columnLeft, top, columnWidth,
                          static_cast<qreal>(out.textLines.size()) * out.textLineHeight);
        columnHeight = out.text.bottom() - pad;
    }

    // Centred on the title's first line, as a symbol set in the text would be.
    const qreal firstLine = out.titleLines.isEmpty() ? out.textLineHeight : out.titleLineHeight;
    const qreal symbolTop = pad + std::max<qreal>(0, std::round((firstLine - side) / 2));
    out.symbol = QRectF(pad, symbolTop, side, side);

    const qreal content = std::max(columnHeight, out.symbol.bottom() - pad);
    out.height = std::ceil(content + 2 * pad);
    return out;
}

TipCard::TipCard(Tip tip, bool compact, QWidget* parent)
    : QWidget(parent), tip_(std::move(tip)), compact_(compact) {
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void TipCard::setTip(const Tip& tip) {
    tip_ = tip;
    updateGeometry();
    update();
    announce(this);
}

void TipCard::setCompact(bool compact) {
    compact_ = compact;
    updateGeometry();
    update();
}

int TipCard::heightForWidth(int width) const {
    return static_cast<int>(layout(tip_, compact_, width).height);
}

QSize TipCard::sizeHint() const {
    return {300, heightForWidth(300)};
}

// The least height is the card at its widest. Layouts give it its height for the actual width;
// a taller minimum here would make them reserve that height for every width.
QSize TipCard::minimumSizeHint() const {
    return {120, heightForWidth(1 << 16)};
}

void TipCard::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette card = cardPalette(tip_.level, palette());

    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), kCornerRadius, kCornerRadius);
    painter.fillPath(shape, card.color(QPalette::Window));

    const Layout l = layout(tip_, compact_, width());
    Symbols::paint(painter, symbol(tip_.level), l.symbol, color(tip_.level, palette()));

    const auto drawLines = [&](const QStringList& lines, const QRectF& area, qreal lineHeight,
                               const QFont& font, const QColor& color) {
        painter.setFont(font);
        painter.setPen(color);
        const qreal ascent = QFontMetricsF(font).ascent();
        for (qsizetype i = 0; i < lines.size(); ++i)
            painter.drawText(
                QPointF(area.left(),
                        std::round(area.top() + static_cast<qreal>(i) * lineHeight + ascent)),
                lines[i]);
    };
    drawLines(l.titleLines, l.title, l.titleLineHeight, titleFont(), Theme::primary(card));
    drawLines(l.textLines, l.text, l.textLineHeight, Theme::caption(), Theme::secondary(card));
}

} // namespace vellumkite
