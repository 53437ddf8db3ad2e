#include "LimitBar.hpp"

#include "Format.hpp"

#include <chrono>
#include <gtest/gtest.h>
#include <limits>

using namespace vellumkite;
using namespace std::chrono_literals;

namespace {
const Instant kNow = fromUnixSeconds(1'750'000'000);

QString detail(double percent) {
    return LimitBar::detailText({percent, kNow + 2h + 5min}, kNow);
}
} // namespace

TEST(LimitBarTest, DetailRoundsThePercentHalvesAway) {
    EXPECT_EQ(detail(34.5), QStringLiteral("35% \u00B7 resets in 2h 5m"));
    EXPECT_EQ(detail(12.49), QStringLiteral("12% \u00B7 resets in 2h 5m"));
    EXPECT_EQ(detail(0), QStringLiteral("0% \u00B7 resets in 2h 5m"));
    EXPECT_EQ(detail(-2.5), QStringLiteral("-3% \u00B7 resets in 2h 5m"));
    const QString none = QString::fromStdString(std::string(Format::kNoValue));
    for (const double p :
         {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(), 1e300})
        EXPECT_EQ(detail(p), none + QStringLiteral(" \u00B7 resets in 2h 5m")) << p;
}

TEST(LimitBarTest, CountdownTakesTheInjectedClock) {
    EXPECT_EQ(LimitBar::detailText({20, kNow + 45min}, kNow + 1h),
              QStringLiteral("20% \u00B7 resets in 0m"));
    // The widget reads its clock when measured, so a later clock gives a shorter text.
    Instant now = kNow;
    const LimitBar bar(QStringLiteral("5-hour limit"), {20, kNow + 72h}, [&] { return now; });
    const int early = bar.sizeHint().width();
    now = kNow + 72h - 5min;
    EXPECT_LT(bar.sizeHint().width(), early);
}
