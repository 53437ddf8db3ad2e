#include "LimitProjection.hpp"

#include <gtest/gtest.h>

using namespace vellumkite;

namespace {

const Instant kNow = fromUnixSeconds(1'750'000'000);

Instant in(double minutes) {
    return addSeconds(kNow, minutes * 60);
}

WindowInstance instance(Instant reset, std::vector<std::pair<double, double>> readings) {
    WindowInstance w{"five_hour", reset, {}};
    for (const auto& [m, p] : readings)
        w.readings.push_back({in(m), p, reset});
    return w;
}

TEST(LimitProjectionTest, TheLastHoursReadingsGiveThePace) {
    // 40 % fifty minutes ago, 48 % ten minutes ago: 8 points in 40 minutes, 0.2 a minute; the
    // 52 left take 260 minutes from the last reading: full 250 minutes from now. A reading
    // over an hour old does not count.
    const auto w = instance(in(300), {{-90, 10}, {-50, 40}, {-30, 44}, {-10, 48}});
    const auto p = LimitProjection::of(w, kNow, 0, std::nullopt);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->percent, 48);
    EXPECT_EQ(p->at, in(-10));
    EXPECT_EQ(p->resetsAt, in(300));
    ASSERT_TRUE(p->fullAt);
    EXPECT_EQ(*p->fullAt, in(250));
    EXPECT_TRUE(p->fullWellBeforeReset());

    // Full 15 minutes before the reset is still worth saying; 14 is not.
    EXPECT_TRUE(
        LimitProjection::of(instance(in(265), {{-50, 40}, {-10, 48}}), kNow, 0, std::nullopt)
            ->fullWellBeforeReset());
    EXPECT_FALSE(
        LimitProjection::of(instance(in(264), {{-50, 40}, {-10, 48}}), kNow, 0, std::nullopt)
            ->fullWellBeforeReset());
    // The window resets first: no full time.
    const auto late =
        LimitProjection::of(instance(in(200), {{-50, 40}, {-10, 48}}), kNow, 0, std::nullopt);
    ASSERT_TRUE(late);
    EXPECT_FALSE(late->fullAt);
    EXPECT_FALSE(late->fullWellBeforeReset());
}

TEST(LimitProjectionTest, WithoutARiseTheBurnOverTheWeightOfAPercentGivesIt) {
    // Half a point in the last hour is no rise; nor is one reading in it. 2,000 weight a
    // minute over 5,000 a percent is 0.4 % a minute: the 59.5 points left take 148.75 minutes.
    for (const auto& readings : {std::vector<std::pair<double, double>>{{-50, 40}, {-10, 40.5}},
                                 std::vector<std::pair<double, double>>{{-90, 30}, {-20, 40.5}}}) {
        const auto p = LimitProjection::of(instance(in(300), readings), kNow, 2000, 5000.0);
        ASSERT_TRUE(p && p->fullAt);
        EXPECT_EQ(*p->fullAt, in(148.75));
        // Nothing burnt, or a percent whose weight is not known: nothing rises.
        EXPECT_FALSE(LimitProjection::of(instance(in(300), readings), kNow, 0, 5000.0)->fullAt);
        EXPECT_FALSE(
            LimitProjection::of(instance(in(300), readings), kNow, 2000, std::nullopt)->fullAt);
    }
}

TEST(LimitProjectionTest, AFullWindowWasFullAtItsFirstFullReadingAndAPastOneHasNone) {
    const auto p = LimitProjection::of(instance(in(60), {{-30, 97}, {-20, 100}, {-5, 100}}), kNow,
                                       0, std::nullopt);
    ASSERT_TRUE(p && p->fullAt);
    EXPECT_EQ(*p->fullAt, in(-20));
    EXPECT_FALSE(LimitProjection::of(instance(kNow, {{-30, 40}, {-5, 60}}), kNow, 100, 10.0));
}

} // namespace
