#include "UsageBar.hpp"

#include "Theme.hpp"

#include <gtest/gtest.h>
#include <limits>
#include <QImage>

using namespace vellumkite;

QPalette windowPalette(QColor window, QColor text) {
    QPalette palette;
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    return palette;
}

TEST(UsageBarTest, FillWidthFollowsTheClampedPercentAndColourTheRawOne) {
    const QRectF bounds(10, 20, 200, 6);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const QPalette& palette :
         {windowPalette(QColor(0xEE, 0xEE, 0xF0), QColor(0x1D, 0x1D, 0x1F)),
          windowPalette(QColor(0x2A, 0x2A, 0x2C), QColor(0xF5, 0xF5, 0xF7))}) {
        const auto colour = [&](double percent) {
            return UsageBar::geometry(bounds, percent, palette).fillColor;
        };
        const QColor green = colour(0), orange = colour(50), red = colour(80);
        EXPECT_GT(green.green(), green.red());
        EXPECT_GT(orange.red(), orange.blue());
        EXPECT_GT(red.red(), red.green());
        EXPECT_GT(orange.green(), red.green());
        struct Case {
            double percent;
            qreal width;
            QColor color;
        };
        for (const Case c : {Case{0, 0, green}, Case{49.9, 99.8, green}, Case{50, 100, orange},
                             Case{79.9, 159.8, orange}, Case{80, 160, red}, Case{130, 200, red},
                             Case{-5, 0, green}, Case{nan, 0, green}}) {
            const auto g = UsageBar::geometry(bounds, c.percent, palette);
            EXPECT_EQ(g.track, bounds) << c.percent;
            EXPECT_EQ(g.fill, QRectF(10, 20, c.width, 6)) << c.percent;
            EXPECT_EQ(g.fillColor, c.color) << c.percent;
            // The fill stands out from the track under it as a graphic must.
            EXPECT_GE(Theme::contrast(g.fillColor,
                                      Theme::over(g.trackColor, palette.color(QPalette::Window))),
                      Theme::kGraphicContrast)
                << c.percent;
        }
    }
}

TEST(UsageBarTest, PaintsOnlyTheTrackBelowZeroAndAllFillAboveHundred) {
    QPalette palette;
    palette.setColor(QPalette::Window, Qt::white);
    palette.setColor(QPalette::WindowText, Qt::black);
    UsageBar bar(130, 6);
    bar.setPalette(palette);
    bar.resize(100, 6);
    EXPECT_EQ(bar.grab().toImage().pixelColor(95, 3),
              UsageBar::geometry(QRectF(), 130, palette).fillColor);

    bar.setPercent(-5);
    const QColor track = bar.grab().toImage().pixelColor(50, 3);
    EXPECT_EQ(track.red(), track.green()); // a faint grey, nothing green
    EXPECT_GT(track.lightness(), 200);
    EXPECT_LT(track.lightness(), 255);
}
