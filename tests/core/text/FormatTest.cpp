#include "Format.hpp"

#include <clocale>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using namespace vellumkite;
using namespace std::chrono_literals;

namespace {
const Instant kNow = fromUnixSeconds(1'750'000'000);
}

TEST(FormatTest, TokensKeepTheirUnitBoundaries) {
    EXPECT_EQ(Format::tokens(0), "0");
    EXPECT_EQ(Format::tokens(999), "999");
    EXPECT_EQ(Format::tokens(1000), "1k");
    EXPECT_EQ(Format::tokens(1999), "1k");
    EXPECT_EQ(Format::tokens(86000), "86k");
    EXPECT_EQ(Format::tokens(999999), "999k");
    EXPECT_EQ(Format::tokens(1000000), "1.0M");
    EXPECT_EQ(Format::tokens(1234567), "1.2M");
    EXPECT_EQ(Format::tokens(12345678), "12.3M");
    EXPECT_EQ(Format::tokens(1250000), "1.2M"); // an exact tie rounds to even
    EXPECT_EQ(Format::tokens(-5), "-5");
    EXPECT_EQ(Format::tokens(-1500), "-1500");
    EXPECT_EQ(Format::tokens(INT64_MAX), "9223372036854.8M");
}

TEST(FormatTest, AgeCountsWholeMinutesThenHours) {
    EXPECT_EQ(Format::ago(kNow - 59s, kNow), "now");
    EXPECT_EQ(Format::ago(kNow - 60s, kNow), "1m ago");
    EXPECT_EQ(Format::ago(kNow - 59min - 59s, kNow), "59m ago");
    EXPECT_EQ(Format::ago(kNow - 60min, kNow), "1h ago");
    EXPECT_EQ(Format::ago(kNow - 119min, kNow), "1h ago");
    EXPECT_EQ(Format::ago(kNow - 1440min, kNow), "24h ago");
    EXPECT_EQ(Format::ago(kNow + 10min, kNow), "now");
    EXPECT_EQ(Format::ago(kDistantPast, kNow), Format::kNoValue);
}

TEST(FormatTest, CountdownSwitchesToDaysAtFortyEightHours) {
    EXPECT_EQ(Format::until(kNow + 30s, kNow), "0m");
    EXPECT_EQ(Format::until(kNow + 59min + 59s, kNow), "59m");
    EXPECT_EQ(Format::until(kNow + 60min, kNow), "1h 0m");
    EXPECT_EQ(Format::until(kNow + 125min, kNow), "2h 5m");
    EXPECT_EQ(Format::until(kNow + 47h + 59min, kNow), "47h 59m");
    EXPECT_EQ(Format::until(kNow + 48h, kNow), "2d 0h");
    EXPECT_EQ(Format::until(kNow + 4000min, kNow), "2d 18h");
    EXPECT_EQ(Format::until(kNow + 10080min, kNow), "7d 0h");
    EXPECT_EQ(Format::until(kNow - 1min, kNow), "0m");
    EXPECT_EQ(Format::until(kNow - 20s, kNow), "0m");
    EXPECT_EQ(Format::until(kDistantFuture, kDistantPast), Format::kNoValue);
}

TEST(FormatTest, PercentRoundsHalvesAwayFromZeroAndNamesMissingValues) {
    EXPECT_EQ(Format::percent(34.5), "35%");
    EXPECT_EQ(Format::percent(12.49), "12%");
    EXPECT_EQ(Format::percent(-0.5), "-1%");
    EXPECT_EQ(Format::percent(0), "0%");
    EXPECT_EQ(Format::percent(1e300), Format::kNoValue);
    EXPECT_EQ(Format::percent(std::numeric_limits<double>::infinity()), Format::kNoValue);
    EXPECT_EQ(Format::percent(std::nan("")), Format::kNoValue);
    EXPECT_EQ(Format::share(0.5, 0.5), "50%"); // the divisor is never below 1
    EXPECT_EQ(Format::share(30, 100), "30%");
    EXPECT_EQ(Format::rate(999.9), "999");
    EXPECT_EQ(Format::rate(2.9), "2");
    EXPECT_EQ(Format::rate(std::numeric_limits<double>::infinity()), Format::kNoValue);
}

TEST(FormatTest, LastPathComponentIgnoresATrailingSlash) {
    for (const char* path : {"/Users/you/Projects/my-app", "/Users/you/Projects/my-app/"})
        EXPECT_EQ(Format::lastPathComponent(path), "my-app") << path;
    for (const char* name : {"plain", "?", ""})
        EXPECT_EQ(Format::lastPathComponent(name), name);
}

TEST(FormatTest, TokensAreTheSameInTipsAndViewsWhateverTheLocale) {
    EXPECT_EQ(Format::tokens(150'000), "150k");
    EXPECT_EQ(Format::tokens(420), "420");
    EXPECT_EQ(Format::tokens(1'260'000), "1.3M");
    EXPECT_EQ(Format::tokens(std::numeric_limits<std::int64_t>::max()), "9223372036854.8M");
    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) {
        EXPECT_EQ(Format::tokens(1'260'000), "1.3M");
        std::setlocale(LC_NUMERIC, saved.c_str());
    }
}
