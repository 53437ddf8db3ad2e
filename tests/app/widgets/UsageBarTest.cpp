#include "UsageBar.hpp"

#include "Theme.hpp"

#include <gtest/gtest.h>
#include <limits>
#include <QImage>

using namespace vellumkite;

TEST(UsageBarTest, FillWidthFollowsTheClampedPercentAndColourTheRawOne) {
    const QRectF bounds(10, 20, 200, 6);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        double percent;
        qreal width;
        QColor color;
    };
    for (const Case c : {Case{0, 0, Theme::green()}, Case{49.9, 99.8, Theme::green()},
                         Case{50, 100, Theme::orange()}, Case{79.9, 159.8, Theme::orange()},
                         Case{80, 160, Theme::red()}, Case{130, 200, Theme::red()},
                         Case{-5, 0, Theme::green()}, Case{nan, 0, Theme::green()}}) {
        const auto g = UsageBar::geometry(bounds, c.percent);
        EXPECT_EQ(g.track, bounds) << c.percent;
        EXPECT_EQ(g.fill, QRectF(10, 20, c.width, 6)) << c.percent;
        EXPECT_EQ(g.fillColor, c.color) << c.percent;
    }
}

TEST(UsageBarTest, PaintsOnlyTheTrackBelowZeroAndAllFillAboveHundred) {
    QPalette palette;
    palette.setColor(QPalette::Window, Qt::white);
    palette.setColor(QPalette::WindowText, Qt::black);
    UsageBar bar(130, 6);
    bar.setPalette(palette);
    bar.resize(100, 6);
    EXPECT_EQ(bar.grab().toImage().pixelColor(95, 3), Theme::red());

    bar.setPercent(-5);
    const QColor track = bar.grab().toImage().pixelColor(50, 3);
    EXPECT_EQ(track.red(), track.green()); // a faint grey, nothing green
    EXPECT_GT(track.lightness(), 200);
    EXPECT_LT(track.lightness(), 255);
}
