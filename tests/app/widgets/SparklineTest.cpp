#include "Sparkline.hpp"

#include <gtest/gtest.h>
#include <limits>

using namespace vellumkite;

namespace {
const QRectF kChart(0, 0, 300, 24);
}

TEST(SparklineTest, ZerosAreFaintMinimumBarsOnTheBottomEdge) {
    EXPECT_TRUE(Sparkline::bars(kChart, {}).empty());
    const auto bars = Sparkline::bars(kChart, std::vector<double>(30, 0));
    ASSERT_EQ(bars.size(), 30u);
    for (std::size_t i = 0; i < bars.size(); ++i) {
        EXPECT_EQ(bars[i].rect, QRectF(10.0 * static_cast<double>(i), 22, 9, 2)) << i;
        EXPECT_DOUBLE_EQ(bars[i].opacity, Sparkline::kIdleOpacity);
    }
}

TEST(SparklineTest, ScaleNeverDropsBelowOne) {
    const auto small = Sparkline::bars(kChart, {0.5, 0});
    ASSERT_EQ(small.size(), 2u);
    // Both stand on the chart's bottom edge, not on the top of a half-high row.
    EXPECT_EQ(small[0].rect, QRectF(0, 12, 149, 12));
    EXPECT_EQ(small[1].rect, QRectF(150, 22, 149, 2));
    EXPECT_DOUBLE_EQ(small[0].opacity, Sparkline::kActiveOpacity);

    std::vector<double> values(30, 0);
    values[17] = 10;
    values[3] = 2.5;
    const auto bars = Sparkline::bars(kChart, values);
    EXPECT_EQ(bars[17].rect, QRectF(170, 0, 9, 24));
    EXPECT_EQ(bars[3].rect, QRectF(30, 18, 9, 6));
}

TEST(SparklineTest, BarsKeepMinimumWidthInsideANarrowChart) {
    const QRectF narrow(5, 10, 20, 12);
    for (const auto& bar : Sparkline::bars(narrow, std::vector<double>(30, 1))) {
        EXPECT_DOUBLE_EQ(bar.rect.width(), 1);
        EXPECT_GE(bar.rect.left(), narrow.left());
        EXPECT_LT(bar.rect.left(), narrow.right());
        EXPECT_EQ(bar.rect.bottom(), narrow.bottom());
    }
}

TEST(SparklineTest, UnusableValuesCountAsZero) {
    const double inf = std::numeric_limits<double>::infinity();
    const auto bars =
        Sparkline::bars(kChart, {inf, 4, std::numeric_limits<double>::quiet_NaN(), -3});
    ASSERT_EQ(bars.size(), 4u);
    EXPECT_DOUBLE_EQ(bars[1].rect.height(), 24); // the scale is 4, not infinity
    for (const std::size_t i : {0u, 2u, 3u}) {
        EXPECT_DOUBLE_EQ(bars[i].rect.height(), 2) << i;
        EXPECT_DOUBLE_EQ(bars[i].opacity, Sparkline::kIdleOpacity) << i;
    }
}

TEST(SparklineTest, ALoneSpikeIsClippedInsteadOfFlatteningTheRest) {
    std::vector<double> values(30, 0);
    values[4] = 2;
    values[5] = 1;
    values[20] = 100; // one huge reply
    const auto bars = Sparkline::bars(kChart, values);
    // The scale is half again the next largest minute: 3.
    EXPECT_DOUBLE_EQ(bars[4].rect.height(), 16);
    EXPECT_DOUBLE_EQ(bars[5].rect.height(), 8);
    EXPECT_DOUBLE_EQ(bars[20].rect.height(), 24);
    EXPECT_TRUE(bars[20].clipped);
    EXPECT_FALSE(bars[4].clipped);

    // Four times the next is still a bar like the others.
    values[20] = 8;
    const auto tall = Sparkline::bars(kChart, values);
    EXPECT_FALSE(tall[20].clipped);
    EXPECT_DOUBLE_EQ(tall[4].rect.height(), 6);
}
