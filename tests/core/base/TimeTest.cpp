#include "Time.hpp"

#include "TempDir.hpp"
#include "Timestamp.hpp"
#include "ZoneGuard.hpp"

#include <cmath>
#include <ctime>
#include <gtest/gtest.h>

using namespace vellumkite;
using vellumkite::testing::ScopedEnv;
using vellumkite::testing::ZoneGuard;

namespace {

Instant at(const char* text) {
    return *Timestamp::parse(text);
}

} // namespace

TEST(TimeTest, TodayStartsAtLocalMidnight) {
    ZoneGuard zone("Europe/Berlin");
    EXPECT_EQ(startOfLocalDay(at("2025-03-01T15:30:00.500Z")), at("2025-02-28T23:00:00.000Z"));
    EXPECT_EQ(startOfLocalDay(at("2025-02-28T23:00:00.000Z")), at("2025-02-28T23:00:00.000Z"));
    EXPECT_EQ(startOfLocalDay(at("2025-02-28T22:59:59.999Z")), at("2025-02-27T23:00:00.000Z"));
    // Summer time: midnight is at 22:00 UTC.
    EXPECT_EQ(startOfLocalDay(at("2025-07-01T12:00:00.000Z")), at("2025-06-30T22:00:00.000Z"));
}

TEST(TimeTest, ADayWithoutMidnightStartsAtItsFirstInstant) {
    // In Sao Paulo on 2018-11-04 the clocks went from 00:00 straight to 01:00 (-02:00).
    ZoneGuard zone("America/Sao_Paulo");
    EXPECT_EQ(startOfLocalDay(at("2018-11-04T15:00:00.000Z")), at("2018-11-04T03:00:00.000Z"));
    // On the day the clocks went back (2019-02-17, 00:00 became 23:00 of the 16th), the day
    // still begins at its one midnight.
    EXPECT_EQ(startOfLocalDay(at("2019-02-17T15:00:00.000Z")), at("2019-02-17T03:00:00.000Z"));
}

TEST(TimeTest, ArithmeticSaturatesAtTheEndsOfTime) {
    const Instant t = at("2025-03-01T12:00:00.000Z");
    EXPECT_EQ(addSeconds(t, -691200), at("2025-02-21T12:00:00.000Z"));
    EXPECT_EQ(addSeconds(t, 0.25), at("2025-03-01T12:00:00.250Z"));
    EXPECT_EQ(addSeconds(kDistantPast, -1e30), kDistantPast);
    EXPECT_EQ(addSeconds(kDistantFuture, 1), kDistantFuture);
    EXPECT_EQ(addSeconds(t, std::nan("")), t);
    EXPECT_EQ(fromUnixSeconds(1e300), kDistantFuture);
    EXPECT_EQ(fromUnixSeconds(-1e300), kDistantPast);
    EXPECT_EQ(fromUnixSeconds(1740830400.5), at("2025-03-01T12:00:00.500Z"));
    EXPECT_DOUBLE_EQ(toUnixSeconds(at("2025-03-01T12:00:00.500Z")), 1740830400.5);
}
