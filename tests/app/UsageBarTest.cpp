#include "UsageBar.hpp"

#include "Theme.hpp"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <QImage>

using namespace vellumkite;

namespace {
const QRectF kBounds(10, 20, 200, 6);
}

TEST(UsageBarTest, FillWidthFollowsTheClampedPercent) {
    struct Case {
        double percent;
        qreal width;
    };
    for (const Case c : {Case{0, 0}, Case{25, 50}, Case{50, 100}, Case{100, 200}, Case{130, 200},
                         Case{-5, 0}, Case{std::numeric_limits<double>::quiet_NaN(), 0},
                         Case{std::numeric_limits<double>::infinity(), 200},
                         Case{-std::numeric_limits<double>::infinity(), 0}}) {
        const auto g = UsageBar::geometry(kBounds, c.percent);
        EXPECT_EQ(g.track, kBounds) << c.percent;
        EXPECT_DOUBLE_EQ(g.fill.width(), c.width) << c.percent;
        EXPECT_EQ(g.fill.topLeft(), kBounds.topLeft()) << c.percent;
        EXPECT_EQ(g.fill.height(), kBounds.height()) << c.percent;
    }
}

TEST(UsageBarTest, ColourComesFromTheUnclampedPercent) {
    EXPECT_EQ(UsageBar::geometry(kBounds, 49.9).fillColor, Theme::green());
    EXPECT_EQ(UsageBar::geometry(kBounds, 50).fillColor, Theme::orange());
    EXPECT_EQ(UsageBar::geometry(kBounds, 79.9).fillColor, Theme::orange());
    EXPECT_EQ(UsageBar::geometry(kBounds, 80).fillColor, Theme::red());
    EXPECT_EQ(UsageBar::geometry(kBounds, 130).fillColor, Theme::red());
    EXPECT_EQ(UsageBar::geometry(kBounds, -5).fillColor, Theme::green());
    EXPECT_EQ(UsageBar::geometry(kBounds, std::nan("")).fillColor, Theme::green());
}

TEST(UsageBarTest, PaintsTheFillOverTheTrack) {
    QPalette palette;
    palette.setColor(QPalette::Window, Qt::white);
    palette.setColor(QPalette::WindowText, Qt::black);

    UsageBar over(130, 6);
    over.setPalette(palette);
    over.resize(100, 6);
    const QImage full = over.grab().toImage();
    EXPECT_EQ(full.pixelColor(50, 3), Theme::red());
    EXPECT_EQ(full.pixelColor(95, 3), Theme::red());

    UsageBar under(-5, 6);
    under.setPalette(palette);
    under.resize(100, 6);
    const QImage empty = under.grab().toImage();
    // Only the faint track: a light grey, nothing green.
    const QColor track = empty.pixelColor(50, 3);
    EXPECT_EQ(track.red(), track.green());
    EXPECT_GT(track.lightness(), 200);
    EXPECT_LT(track.lightness(), 255);

    UsageBar half(50, 6);
    half.setPalette(palette);
    half.resize(100, 6);
    const QImage halfImage = half.grab().toImage();
    EXPECT_EQ(halfImage.pixelColor(25, 3), Theme::orange());
    EXPECT_NE(halfImage.pixelColor(75, 3), Theme::orange());
}

TEST(UsageBarTest, KeepsTheGivenHeight) {
    UsageBar bar(40, 8);
    EXPECT_EQ(bar.sizeHint().height(), 8);
    bar.setBarHeight(6);
    EXPECT_EQ(bar.sizeHint().height(), 6);
    EXPECT_EQ(bar.sizePolicy().verticalPolicy(), QSizePolicy::Fixed);
}
