#include "Symbols.hpp"

#include <gtest/gtest.h>
#include <QImage>

using namespace vellumkite;

namespace {
const Symbol kAll[] = {
    Symbol::gauge,       Symbol::lightbulb, Symbol::exclamationCircle, Symbol::exclamationTriangle,
    Symbol::xmarkCircle, Symbol::lines,     Symbol::checkmark};
} // namespace

TEST(SymbolsTest, NamesRoundTrip) {
    EXPECT_EQ(Symbols::name(Symbol::gauge), "gauge.with.dots.needle.33percent");
    for (const Symbol s : kAll)
        EXPECT_EQ(Symbols::fromName(Symbols::name(s)), s);
    EXPECT_EQ(Symbols::fromName("lightbulb"), std::nullopt);
}

TEST(SymbolsTest, ShapesFillTheirSquareInTheTint) {
    const QColor tint(255, 149, 0);
    for (const Symbol s : kAll) {
        const QRectF box(3, 5, 22, 40);
        const QRectF square(3, 14, 22, 22);
        const QRectF bounds = Symbols::path(s, box, 2).boundingRect();
        EXPECT_TRUE(square.contains(bounds)) << Symbols::name(s);
        EXPECT_GT(bounds.width(), 22 * 0.55) << Symbols::name(s);
        EXPECT_TRUE(Symbols::path(s, QRectF(0, 0, qQNaN(), 10)).isEmpty());

        for (const qreal dpr : {1.0, 2.0}) {
            const QImage image =
                Symbols::pixmap(s, 16, dpr, tint).toImage().convertToFormat(QImage::Format_ARGB32);
            ASSERT_EQ(image.size(), QSize(16, 16) * dpr);
            int opaque = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    if (image.pixelColor(x, y).alpha() == 255) {
                        ++opaque;
                        ASSERT_EQ(image.pixelColor(x, y).rgb(), tint.rgb()) << Symbols::name(s);
                    }
            EXPECT_GT(opaque, 0) << Symbols::name(s);
            EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0) << Symbols::name(s);
        }
    }
}

TEST(SymbolsTest, ThinBarsLandOnWholePixels) {
    // Down the middle of the three bars every pixel is either fully covered or empty.
    for (const int size : {14, 16, 22}) {
        for (const qreal dpr : {1.0, 2.0}) {
            const QImage image = Symbols::pixmap(Symbol::lines, size, dpr, Qt::black).toImage();
            int covered = 0;
            for (int y = 0; y < image.height(); ++y) {
                const int alpha = image.pixelColor(image.width() / 2, y).alpha();
                EXPECT_TRUE(alpha == 0 || alpha == 255) << size << "@" << dpr << " y " << y;
                covered += alpha == 255;
            }
            EXPECT_GE(covered, 3);
        }
    }
}
