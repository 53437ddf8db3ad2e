#include "Sparkline.hpp"

#include <gtest/gtest.h>
#include <limits>
#include <QImage>

using namespace vellumkite;

namespace {
const QRectF kChart(0, 0, 300, 24);
}

TEST(SparklineTest, EmptyListDrawsNothing) {
    EXPECT_TRUE(Sparkline::bars(kChart, {}).empty());

    QPalette palette;
    palette.setColor(QPalette::Window, Qt::white);
    Sparkline chart;
    chart.setPalette(palette);
    chart.resize(120, 24);
    const QImage image = chart.grab().toImage();
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ASSERT_EQ(image.pixelColor(x, y), QColor(Qt::white)) << x << "," << y;
}

TEST(SparklineTest, ZerosAreFaintMinimumBarsOnTheBottomEdge) {
    const auto bars = Sparkline::bars(kChart, std::vector<double>(30, 0));
    ASSERT_EQ(bars.size(), 30u);
    for (std::size_t i = 0; i < bars.size(); ++i) {
        EXPECT_DOUBLE_EQ(bars[i].rect.height(), 2);
        EXPECT_DOUBLE_EQ(bars[i].rect.bottom(), kChart.bottom());
        EXPECT_DOUBLE_EQ(bars[i].rect.left(), 10.0 * static_cast<double>(i));
        EXPECT_DOUBLE_EQ(bars[i].rect.width(), 9);
        EXPECT_DOUBLE_EQ(bars[i].opacity, Sparkline::kIdleOpacity);
    }
}

TEST(SparklineTest, ScaleNeverDropsBelowOne) {
    const auto small = Sparkline::bars(kChart, {0.5, 0});
    ASSERT_EQ(small.size(), 2u);
    EXPECT_DOUBLE_EQ(small[0].rect.height(), 12);
    EXPECT_DOUBLE_EQ(small[0].opacity, Sparkline::kActiveOpacity);
    EXPECT_DOUBLE_EQ(small[1].rect.height(), 2);
    // Both stand on the chart's bottom edge, not on the top of a half-high row.
    EXPECT_DOUBLE_EQ(small[0].rect.bottom(), kChart.bottom());
    EXPECT_DOUBLE_EQ(small[1].rect.bottom(), kChart.bottom());
    EXPECT_DOUBLE_EQ(small[0].rect.width(), 149);

    std::vector<double> values(30, 0);
    values[17] = 10;
    values[3] = 2.5;
    const auto bars = Sparkline::bars(kChart, values);
    EXPECT_DOUBLE_EQ(bars[17].rect.height(), 24);
    EXPECT_DOUBLE_EQ(bars[17].rect.top(), 0);
    EXPECT_DOUBLE_EQ(bars[3].rect.height(), 6);
    EXPECT_DOUBLE_EQ(bars[4].rect.height(), 2);
}

TEST(SparklineTest, BarsKeepMinimumWidthInsideANarrowChart) {
    const QRectF narrow(5, 10, 20, 12);
    const auto bars = Sparkline::bars(narrow, std::vector<double>(30, 1));
    ASSERT_EQ(bars.size(), 30u);
    for (const auto& bar : bars) {
        EXPECT_DOUBLE_EQ(bar.rect.width(), 1);
        EXPECT_GE(bar.rect.left(), narrow.left());
        EXPECT_LT(bar.rect.left(), narrow.right());
        EXPECT_DOUBLE_EQ(bar.rect.height(), 12);
        EXPECT_DOUBLE_EQ(bar.rect.bottom(), narrow.bottom());
    }
}

TEST(SparklineTest, UnusableValuesCountAsZero) {
    const double inf = std::numeric_limits<double>::infinity();
    const auto bars =
        Sparkline::bars(kChart, {inf, 4, std::numeric_limits<double>::quiet_NaN(), -3, -inf});
    ASSERT_EQ(bars.size(), 5u);
    EXPECT_DOUBLE_EQ(bars[1].rect.height(), 24); // the scale is 4, not infinity
    for (const std::size_t i : {0u, 2u, 3u, 4u}) {
        EXPECT_DOUBLE_EQ(bars[i].rect.height(), 2) << i;
        EXPECT_DOUBLE_EQ(bars[i].opacity, Sparkline::kIdleOpacity) << i;
    }
}

TEST(SparklineTest, PaintsBarsFromTheBottom) {
    QPalette palette;
    palette.setColor(QPalette::Window, Qt::white);
    palette.setColor(QPalette::Highlight, QColor(0, 0, 255));
    Sparkline chart({0, 1, 0});
    chart.setPalette(palette);
    chart.resize(30, 20);
    const QImage image = chart.grab().toImage();
    // The middle bar fills the height; the others are short and pale.
    EXPECT_LT(image.pixelColor(15, 2).red(), 100);
    EXPECT_LT(image.pixelColor(15, 18).red(), 100);
    EXPECT_EQ(image.pixelColor(4, 10), QColor(Qt::white));
    EXPECT_NE(image.pixelColor(4, 19), QColor(Qt::white));
    EXPECT_GT(image.pixelColor(4, 19).red(), 150);
}
