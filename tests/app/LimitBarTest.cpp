#include "LimitBar.hpp"

#include "Format.hpp"
#include "Theme.hpp"

#include <chrono>
#include <gtest/gtest.h>
#include <limits>
#include <QFontMetricsF>

using namespace vellumkite;
using namespace std::chrono_literals;

namespace {
const Instant kNow = fromUnixSeconds(1'750'000'000);
const QString kNone = QString::fromStdString(std::string(Format::kNoValue));

QString detail(double percent, Instant resetsAt = kNow + 2h + 5min) {
    return LimitBar::detailText({percent, resetsAt}, kNow);
}
} // namespace

TEST(LimitBarTest, DetailRoundsThePercentHalvesAway) {
    EXPECT_EQ(detail(34.5), QStringLiteral("35% \u00B7 resets in 2h 5m"));
    EXPECT_EQ(detail(12.49), QStringLiteral("12% \u00B7 resets in 2h 5m"));
    EXPECT_EQ(detail(0), QStringLiteral("0% \u00B7 resets in 2h 5m"));
    EXPECT_EQ(detail(-2.5), QStringLiteral("-3% \u00B7 resets in 2h 5m"));
    EXPECT_EQ(detail(130), QStringLiteral("130% \u00B7 resets in 2h 5m"));
}

TEST(LimitBarTest, DetailWithoutAUsablePercentShowsTheNoValueText) {
    for (const double p : {std::numeric_limits<double>::quiet_NaN(),
                           std::numeric_limits<double>::infinity(), 1e300, -1e300})
        EXPECT_EQ(detail(p), kNone + QStringLiteral(" \u00B7 resets in 2h 5m")) << p;
}

TEST(LimitBarTest, CountdownTakesTheInjectedClock) {
    const Limits::Window window{20, kNow + 45min};
    EXPECT_EQ(LimitBar::detailText(window, kNow), QStringLiteral("20% \u00B7 resets in 45m"));
    EXPECT_EQ(LimitBar::detailText(window, kNow + 1h), QStringLiteral("20% \u00B7 resets in 0m"));

    // The widget reads its clock when it is measured, so a later clock gives a shorter text.
    Instant now = kNow;
    const LimitBar bar(QStringLiteral("5-hour limit"), {20, kNow + 3 * 24h}, [&] { return now; });
    const int early = bar.sizeHint().width();
    now = kNow + 3 * 24h - 5min;
    EXPECT_LT(bar.sizeHint().width(), early);
}

TEST(LimitBarTest, SizeHintHoldsTitleDetailAndBar) {
    const LimitBar bar(QStringLiteral("Weekly limit"), {12, kNow + 3h}, [] { return kNow; });
    const QFontMetricsF headline(Theme::headline());
    const QFontMetricsF caption(Theme::caption());
    const int row = static_cast<int>(std::ceil(std::max(headline.height(), caption.height())));
    EXPECT_EQ(bar.sizeHint().height(), row + LimitBar::kRowGap + LimitBar::kBarHeight);
    const qreal wanted = headline.horizontalAdvance(QStringLiteral("Weekly limit")) +
                         LimitBar::kSpacing +
                         Theme::monoDigitsWidth(Theme::caption(), detail(12, kNow + 3h));
    EXPECT_GE(bar.sizeHint().width(), wanted);
    EXPECT_LT(bar.sizeHint().width(), wanted + 1);
}
