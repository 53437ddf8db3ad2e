#include "TipCard.hpp"

#include "Theme.hpp"

#include <gtest/gtest.h>
#include <QFontMetricsF>
#include <QVBoxLayout>

using namespace vellumkite;

namespace {

const QString kEllipsis(QChar(0x2026));

Tip tip(Tip::Level level, std::string text) {
    Tip t;
    t.rule = "chat.soft";
    t.level = level;
    t.title = "This chat is getting long";
    t.text = std::move(text);
    return t;
}

std::string longText() {
    std::string s;
    for (int i = 0; i < 12; ++i)
        s += "Every message re-reads the whole chat, so a fresh one with a short summary is "
             "cheaper. ";
    return s;
}

} // namespace

TEST(TipCardTest, LevelPicksSymbolAndColour) {
    QPalette palette;
    palette.setColor(QPalette::Highlight, QColor(1, 2, 3));
    EXPECT_EQ(TipCard::symbol(Tip::Level::info), Symbol::lightbulb);
    EXPECT_EQ(TipCard::symbol(Tip::Level::warn), Symbol::exclamationCircle);
    EXPECT_EQ(TipCard::symbol(Tip::Level::alert), Symbol::exclamationTriangle);
    EXPECT_EQ(TipCard::color(Tip::Level::info, palette), QColor(1, 2, 3));
    EXPECT_EQ(TipCard::color(Tip::Level::warn, palette), Theme::orange());
    EXPECT_EQ(TipCard::color(Tip::Level::alert, palette), Theme::red());
}

TEST(TipCardTest, CompactCardStopsAtThreeLinesWithAnEllipsis) {
    const Tip t = tip(Tip::Level::warn, longText());
    const auto full = TipCard::layout(t, false, 300);
    const auto compact = TipCard::layout(t, true, 300);

    EXPECT_GT(full.textLines.size(), 3);
    EXPECT_FALSE(full.textLines.back().endsWith(kEllipsis));
    ASSERT_EQ(compact.textLines.size(), TipCard::kCompactLines);
    EXPECT_TRUE(compact.textLines.back().endsWith(kEllipsis));
    EXPECT_LT(compact.height, full.height);

    // Every line fits the text column, the cut one included.
    const QFontMetricsF caption(Theme::caption());
    for (const QString& line : compact.textLines)
        EXPECT_LE(caption.horizontalAdvance(line), compact.text.width()) << line.toStdString();

    // Tighter padding on the compact card.
    EXPECT_EQ(compact.symbol.left(), 8);
    EXPECT_EQ(full.symbol.left(), 10);
    EXPECT_EQ(compact.title.top(), 8);
    EXPECT_EQ(full.title.top(), 10);
}

TEST(TipCardTest, ShortTextIsNeverCut) {
    const Tip t = tip(Tip::Level::info, "Start a new chat.");
    const auto compact = TipCard::layout(t, true, 300);
    ASSERT_EQ(compact.textLines.size(), 1);
    EXPECT_EQ(compact.textLines[0], QStringLiteral("Start a new chat."));

    // Three short lines ended by hard breaks still say that more follows.
    const auto broken = TipCard::layout(tip(Tip::Level::info, "one\ntwo\nthree\nfour"), true, 300);
    ASSERT_EQ(broken.textLines.size(), 3);
    EXPECT_EQ(broken.textLines[2], QStringLiteral("three") + kEllipsis);
    const auto all = TipCard::layout(tip(Tip::Level::info, "one\ntwo\nthree"), true, 300);
    EXPECT_EQ(all.textLines, QStringList({"one", "two", "three"}));
}

TEST(TipCardTest, HeightFollowsTheContent) {
    const Tip t = tip(Tip::Level::alert, longText());
    const auto wide = TipCard::layout(t, false, 600);
    const auto narrow = TipCard::layout(t, false, 250);
    EXPECT_GT(narrow.height, wide.height);
    EXPECT_GE(narrow.height, narrow.text.bottom() + TipCard::padding(false));
    EXPECT_DOUBLE_EQ(narrow.text.top(), narrow.title.bottom() + TipCard::kLineGap);

    Tip noText = t;
    noText.text.clear();
    const auto titleOnly = TipCard::layout(noText, false, 300);
    EXPECT_TRUE(titleOnly.textLines.isEmpty());
    EXPECT_LT(titleOnly.height, TipCard::layout(t, false, 300).height);
}

TEST(TipCardTest, LayoutsGiveTheCardItsHeightForWidth) {
    QWidget host;
    auto* layout = new QVBoxLayout(&host);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* card = new TipCard(tip(Tip::Level::warn, longText()), false);
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
