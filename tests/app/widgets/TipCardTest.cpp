#include "TipCard.hpp"

#include "Theme.hpp"

#include <gtest/gtest.h>
#include <QFontMetricsF>
#include <QVBoxLayout>

using namespace vellumkite;

namespace {

const QString kEllipsis(QChar(0x2026));

Tip tip(std::string text, Tip::Level level = Tip::Level::warn) {
    return {"chat.soft", level, "This chat is getting long", std::move(text), std::nullopt};
}

std::string longText() {
    std::string s;
    for (int i = 0; i < 12; ++i)
        s += "Every message re-reads the whole chat, so a fresh one is cheaper. ";
    return s;
}

} // namespace

TEST(TipCardTest, CompactCardStopsAtThreeLinesWithAnEllipsis) {
    const auto full = TipCard::layout(tip(longText()), false, 300);
    const auto compact = TipCard::layout(tip(longText()), true, 300);

    EXPECT_GT(full.textLines.size(), 3);
    EXPECT_FALSE(full.textLines.back().endsWith(kEllipsis));
    ASSERT_EQ(compact.textLines.size(), TipCard::kCompactLines);
    EXPECT_TRUE(compact.textLines.back().endsWith(kEllipsis));
    for (const QString& line : compact.textLines)
        EXPECT_LE(QFontMetricsF(Theme::caption()).horizontalAdvance(line), compact.text.width());
    EXPECT_LT(compact.height, full.height);
    EXPECT_GE(full.height, full.text.bottom() + TipCard::padding(false));

    // Tighter padding on the compact card.
    EXPECT_EQ(compact.symbol.topLeft(), QPointF(8, 8));
    EXPECT_EQ(full.symbol.topLeft(), QPointF(10, 10));
}

TEST(TipCardTest, ShortTextIsNeverCut) {
    EXPECT_EQ(TipCard::layout(tip("Start a new chat."), true, 300).textLines,
              QStringList{"Start a new chat."});
    EXPECT_EQ(TipCard::layout(tip("one\ntwo\nthree"), true, 300).textLines,
              QStringList({"one", "two", "three"}));
    // Lines ended early by hard breaks still say that more follows.
    EXPECT_EQ(TipCard::layout(tip("one\ntwo\nthree\nfour"), true, 300).textLines,
              QStringList({"one", "two", "three" + kEllipsis}));
    // A tip without text is just its title.
    const auto titleOnly = TipCard::layout(tip(""), false, 300);
    EXPECT_TRUE(titleOnly.textLines.isEmpty());
    EXPECT_LT(titleOnly.height, TipCard::layout(tip("Some text."), false, 300).height);
}

TEST(TipCardTest, LayoutsGiveTheCardItsHeightForWidth) {
    QWidget host;
    auto* layout = new QVBoxLayout(&host);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* card = new TipCard(tip(longText()), false);
    layout->addWidget(card);
    layout->addStretch();
    host.resize(320, 800);
    host.show();
    layout->activate();
    EXPECT_EQ(card->width(), 320);
    EXPECT_EQ(card->height(), card->heightForWidth(320));

    host.resize(240, 800);
    layout->activate();
    EXPECT_EQ(card->height(), card->heightForWidth(240));
    EXPECT_GT(card->heightForWidth(240), card->heightForWidth(320));
}
