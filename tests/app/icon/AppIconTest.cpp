#include "AppIcon.hpp"

#include <cstdlib>
#include <gtest/gtest.h>
#include <QPainter>
#include <QSvgRenderer>

using namespace vellumkite;

namespace {

// The largest difference of any premultiplied channel between two pictures of the same size,
// so that nearly clear edge pixels count for as little as they show.
int largestDifference(const QImage& a, const QImage& b) {
    const QImage pa = a.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage pb = b.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    int most = 0;
    for (int y = 0; y < pa.height(); ++y) {
        const auto* ra = reinterpret_cast<const QRgb*>(pa.constScanLine(y));
        const auto* rb = reinterpret_cast<const QRgb*>(pb.constScanLine(y));
        for (int x = 0; x < pa.width(); ++x)
            most = std::max(
                {most, std::abs(qRed(ra[x]) - qRed(rb[x])), std::abs(qGreen(ra[x]) - qGreen(rb[x])),
                 std::abs(qBlue(ra[x]) - qBlue(rb[x])), std::abs(qAlpha(ra[x]) - qAlpha(rb[x]))});
    }
    return most;
}

} // namespace

TEST(AppIconTest, ScalableAndPixelIconsMatch) {
    QSvgRenderer svg(AppIcon::svg().toUtf8());
    ASSERT_TRUE(svg.isValid());
    for (const int size : {48, 128}) {
        const QImage drawn = AppIcon::image(size);
        QImage rendered(size, size, QImage::Format_ARGB32_Premultiplied);
        rendered.fill(Qt::transparent);
        QPainter painter(&rendered);
        svg.render(&painter);
        painter.end();
        // The same shapes and colours: only anti-aliasing along edges may differ a little.
        // Blank pictures or a lost gradient, glyph or hole differ by far more.
        EXPECT_LE(largestDifference(
                      drawn.scaled(8, 8, Qt::IgnoreAspectRatio, Qt::SmoothTransformation),
                      rendered.scaled(8, 8, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)),
                  12)
            << size;
        // White glyph in the middle, blue tile around it, clear corners.
        EXPECT_EQ(drawn.pixelColor(0, 0).alpha(), 0);
        EXPECT_GT(drawn.pixelColor(size / 2, size / 2).lightness(), 200);
        EXPECT_GT(drawn.pixelColor(size / 2, size / 10).blue(), 150);
        EXPECT_LT(drawn.pixelColor(size / 2, size / 10).red(), 100);
    }
}
