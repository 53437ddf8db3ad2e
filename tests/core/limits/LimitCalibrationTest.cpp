#include "LimitCalibration.hpp"

#include "WindowInstance.hpp"

#include <gtest/gtest.h>

using namespace vellumkite;

namespace {

const Instant kT0 = fromUnixSeconds(1'750'000'000);
const Instant kReset = addSeconds(kT0, 5 * 3600);

Instant minute(double m) {
    return addSeconds(kT0, m * 60);
}

TEST(WindowInstanceTest, ResetsUnderAMinuteApartAreOneInstance) {
    // The reset wobbles by seconds between readings; a minute or more from the instance's
    // first one is a new instance, also when an old reset time comes back.
    const std::vector<LimitPoint> readings = {
        {minute(0), 10, kReset},
        {minute(1), 11, addSeconds(kReset, 30)},
        {minute(2), 12, addSeconds(kReset, -20)},
        {minute(3), 13, addSeconds(kReset, 59.9)},
        {minute(4), 1, addSeconds(kReset, 60)},
        {minute(5), 2, addSeconds(kReset, 100)},
        {minute(6), 14, kReset},
    };
    const auto instances = WindowInstance::group("five_hour", readings);
    ASSERT_EQ(instances.size(), 3u);
    EXPECT_EQ(instances[0].readings.size(), 4u);
    EXPECT_EQ(instances[0].resetsAt, kReset);
    EXPECT_EQ(instances[0].peak(), 13);
    EXPECT_EQ(instances[1].readings.size(), 2u);
    EXPECT_EQ(instances[1].resetsAt, addSeconds(kReset, 60));
    EXPECT_EQ(instances[2].readings.size(), 1u);
    EXPECT_EQ(instances[2].name, "five_hour");
    EXPECT_TRUE(WindowInstance::group("five_hour", {}).empty());

    EXPECT_EQ(WindowInstance::label("five_hour"), "5-hour");
    EXPECT_EQ(WindowInstance::label("seven_day"), "weekly");
    EXPECT_EQ(WindowInstance::label("seven_day_opus"), "seven day opus");
    EXPECT_EQ(WindowInstance::lengthSeconds("seven_day_opus"), 7 * 86400);
    EXPECT_EQ(WindowInstance::lengthSeconds("monthly"), 0);
}

TEST(LimitCalibrationTest, SpansRunToTheFirstReadingAPointHigher) {
    WindowInstance w{"five_hour", kReset, {}};
    // 10 -> 11 at minute 3 (10.5 is not a point up), 11 -> 13 at minute 5, 13 -> 14.1 at
    // minute 7; 34.3 -> 35.3 is a point, however the binary fractions fall; a last reading
    // that rose less makes no span.
    for (const auto& [m, p] : std::vector<std::pair<double, double>>{{0, 10},
                                                                     {1, 10},
                                                                     {2, 10.5},
                                                                     {3, 11},
                                                                     {4, 11},
                                                                     {5, 13},
                                                                     {6, 13.2},
                                                                     {7, 14.1},
                                                                     {8, 34.3},
                                                                     {9, 35.3},
                                                                     {10, 36.2}})
        w.readings.push_back({minute(m), p, kReset});
    const auto spans = LimitCalibration::spansOf(w);
    ASSERT_EQ(spans.size(), 5u);
    EXPECT_EQ(spans[0], (LimitSpan{minute(0), minute(3), 1}));
    EXPECT_EQ(spans[1], (LimitSpan{minute(3), minute(5), 2}));
    EXPECT_NEAR(spans[2].rise, 1.1, 1e-9);
    EXPECT_EQ(spans[2].to, minute(7));
    EXPECT_NEAR(spans[3].rise, 20.2, 1e-9);
    EXPECT_EQ(spans[4].from, minute(8));
    EXPECT_EQ(spans[4].to, minute(9));

    // A percentage that falls (a reading out of order) starts no span until it is passed.
    WindowInstance down{"five_hour",
                        kReset,
                        {{minute(0), 20, kReset},
                         {minute(1), 5, kReset},
                         {minute(2), 20.5, kReset},
                         {minute(3), 21, kReset}}};
    EXPECT_EQ(LimitCalibration::spansOf(down), (std::vector<LimitSpan>{{minute(0), minute(3), 1}}));
}

TEST(LimitCalibrationTest, WeightPerPercentIsKnownFromThreeSpans) {
    LimitCalibration c;
    c.add({minute(0), minute(10), 2}, 10000, 0.03);
    c.add({minute(10), minute(20), 2}, 10000, 0.03);
    EXPECT_FALSE(c.known());
    EXPECT_FALSE(c.weightPerPercent());
    EXPECT_FALSE(c.costPerPercent());
    c.add({minute(20), minute(35), 4}, 26000, 0.078);
    // (10,000 + 10,000 + 26,000) / (2 + 2 + 4) = 5,750; ($0.03 + $0.03 + $0.078) / 8.
    EXPECT_EQ(c.spans, 3);
    EXPECT_DOUBLE_EQ(*c.weightPerPercent(), 5750);
    EXPECT_DOUBLE_EQ(*c.costPerPercent(), 0.138 / 8);
    // One span of a model without a price leaves the dollars unknown, not the weight.
    c.add({minute(35), minute(40), 1}, 4000, std::nullopt);
    EXPECT_DOUBLE_EQ(*c.weightPerPercent(), 50000.0 / 9);
    EXPECT_FALSE(c.costPerPercent());

    EXPECT_EQ(LimitCalibration::lookbackSeconds("five_hour"), 14 * 86400);
    EXPECT_EQ(LimitCalibration::lookbackSeconds("seven_day"), 56 * 86400);
}

} // namespace
