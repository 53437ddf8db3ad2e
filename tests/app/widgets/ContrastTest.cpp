// Text stands out from its background by 4.5:1 and graphics that carry meaning by 3:1, in every
// palette a desktop may hand us, computed from the colours the widgets paint with.
#include "DesktopPalettes.hpp"
#include "Sparkline.hpp"
#include "Theme.hpp"
#include "TipCard.hpp"
#include "UsageBar.hpp"

#include <gtest/gtest.h>

using namespace vellumkite;
using namespace vellumkite::testing;

namespace {

// What a (possibly translucent) colour looks like on the background, against that background.
double ratio(const QColor& color, const QColor& background) {
    return Theme::contrast(Theme::over(color, background), background);
}

class ContrastTest : public ::testing::TestWithParam<NamedPalette> {
protected:
    const QPalette& palette() const { return GetParam().palette; }
    QColor window() const { return palette().color(QPalette::Window); }
};

} // namespace

TEST(ContrastMath, MatchesTheKnownRatios) {
    EXPECT_NEAR(Theme::contrast(Qt::black, Qt::white), 21.0, 1e-9);
    EXPECT_NEAR(Theme::contrast(Qt::white, Qt::white), 1.0, 1e-9);
    // Published figures: the standard green on white, and grey #777 just short of 4.5.
    EXPECT_NEAR(Theme::contrast(Theme::green(), Qt::white), 2.22, 0.01);
    EXPECT_NEAR(Theme::contrast(QColor(0x77, 0x77, 0x77), Qt::white), 4.48, 0.01);
    // Already legible colours are left alone; others keep their hue.
    EXPECT_EQ(Theme::legible(Qt::black, Qt::white, 4.5), QColor(Qt::black));
    const QColor darker = Theme::legible(Theme::green(), Qt::white, 4.5);
    EXPECT_GE(Theme::contrast(darker, Qt::white), 4.5);
    EXPECT_NEAR(darker.hslHueF(), Theme::green().hslHueF(), 0.02);
    const QColor lighter = Theme::legible(QColor(0x15, 0x53, 0x9E), QColor(0x35, 0x35, 0x35), 3);
    EXPECT_GE(Theme::contrast(lighter, QColor(0x35, 0x35, 0x35)), 3.0);
    EXPECT_GT(lighter.lightnessF(), QColor(0x15, 0x53, 0x9E).lightnessF());
}

TEST_P(ContrastTest, TextRolesAndLevelTexts) {
    EXPECT_GE(ratio(Theme::primary(palette()), window()), Theme::kTextContrast);
    EXPECT_GE(ratio(Theme::secondary(palette()), window()), Theme::kTextContrast);
    for (const Level level : {Level::info, Level::warn, Level::alert})
        EXPECT_GE(ratio(Theme::levelTextColor(level, palette()), window()), Theme::kTextContrast)
            << static_cast<int>(level);
    // Secondary text stays dimmer than primary text.
    EXPECT_LT(ratio(Theme::secondary(palette()), window()),
              ratio(Theme::primary(palette()), window()));
}

TEST_P(ContrastTest, GraphicsThatCarryMeaning) {
    EXPECT_GE(ratio(Theme::accent(palette()), window()), Theme::kGraphicContrast);
    EXPECT_GE(ratio(Theme::tertiary(palette()), window()), Theme::kGraphicContrast);
    for (const Level level : {Level::info, Level::warn, Level::alert})
        EXPECT_GE(ratio(Theme::levelColor(level, palette()), window()), Theme::kGraphicContrast);
    for (const double percent : {10.0, 60.0, 95.0}) {
        const auto g = UsageBar::geometry(QRectF(0, 0, 100, 6), percent, palette());
        EXPECT_GE(ratio(g.fillColor, Theme::over(g.trackColor, window())), Theme::kGraphicContrast)
            << percent;
    }
    const Sparkline::Bar busy{{}, Sparkline::kActiveOpacity};
    EXPECT_GE(ratio(Sparkline::barColor(busy, palette()), window()), Theme::kGraphicContrast);
}

TEST_P(ContrastTest, TipCardsOnTheirTint) {
    for (const Tip::Level level : {Tip::Level::info, Tip::Level::warn, Tip::Level::alert}) {
        SCOPED_TRACE(static_cast<int>(level));
        const QPalette card = TipCard::cardPalette(level, palette());
        const QColor background = card.color(QPalette::Window);
        EXPECT_NE(background, window()) << "the card is tinted";
        EXPECT_GE(ratio(TipCard::color(level, palette()), background), Theme::kGraphicContrast);
        EXPECT_GE(ratio(Theme::primary(card), background), Theme::kTextContrast);
        EXPECT_GE(ratio(Theme::secondary(card), background), Theme::kTextContrast);
    }
}

INSTANTIATE_TEST_SUITE_P(Desktops, ContrastTest, ::testing::ValuesIn(desktopPalettes()),
                         [](const auto& info) { return info.param.name; });
