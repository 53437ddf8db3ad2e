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
    EXPECT_EQ(Symbols::fromName("exclamationmark.triangle.fill"), Symbol::exclamationTriangle);
    for (const Symbol s : kAll)
        EXPECT_EQ(Symbols::fromName(Symbols::name(s)), s);
    EXPECT_EQ(Symbols::fromName("lightbulb"), std::nullopt);
    EXPECT_EQ(Symbols::fromName(""), std::nullopt);
}

TEST(SymbolsTest, ShapesStayInsideTheirSquare) {
    for (const Symbol s : kAll) {
        for (const QRectF box : {QRectF(0, 0, 16, 16), QRectF(3, 5, 22, 40)}) {
            const QPainterPath p = Symbols::path(s, box, 2);
            ASSERT_FALSE(p.isEmpty()) << Symbols::name(s);
            const qreal side = std::min(box.width(), box.height());
            const QRectF square(box.center().x() - side / 2, box.center().y() - side / 2, side,
                                side);
            EXPECT_TRUE(square.contains(p.boundingRect())) << Symbols::name(s);
            // Each symbol uses most of its square.
            EXPECT_GT(p.boundingRect().width(), side * 0.55) << Symbols::name(s);
        }
        EXPECT_TRUE(Symbols::path(s, QRectF(0, 0, 0, 10)).isEmpty());
        EXPECT_TRUE(Symbols::path(s, QRectF(0, 0, qQNaN(), 10)).isEmpty());
    }
}

TEST(SymbolsTest, PixmapsTakeTheTintAtEveryDensity) {
    const QColor tint(255, 149, 0);
    for (const Symbol s : kAll) {
        for (const qreal dpr : {1.0, 2.0}) {
            const QPixmap pm = Symbols::pixmap(s, 16, dpr, tint);
            EXPECT_EQ(pm.deviceIndependentSize(), QSizeF(16, 16));
            const QImage image = pm.toImage().convertToFormat(QImage::Format_ARGB32);
            EXPECT_EQ(image.size(), QSize(16, 16) * dpr);
            int opaque = 0, transparent = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x) {
                    const QColor c = image.pixelColor(x, y);
                    if (c.alpha() == 255) {
                        ++opaque;
                        EXPECT_EQ(c.rgb(), tint.rgb());
                    } else if (c.alpha() == 0) {
                        ++transparent;
                    }
                }
            EXPECT_GT(opaque, 0) << Symbols::name(s);
            EXPECT_GT(transparent, 0) << Symbols::name(s);
        }
    }
}

TEST(SymbolsTest, ThinBarsLandOnWholePixels) {
    // Across the middle of the three bars every pixel is either fully covered or empty.
    for (const int size : {14, 16, 22}) {
        for (const qreal dpr : {1.0, 2.0}) {
            const QImage image = Symbols::pixmap(Symbol::lines, size, dpr, Qt::black).toImage();
            const int x = image.width() / 2;
            int covered = 0;
            for (int y = 0; y < image.height(); ++y) {
                const int alpha = image.pixelColor(x, y).alpha();
                EXPECT_TRUE(alpha == 0 || alpha == 255) << size << "@" << dpr << " y " << y;
                covered += alpha == 255;
            }
            EXPECT_GE(covered, 3);
        }
    }
}

TEST(SymbolsTest, IconOffersSharpSizes) {
    const QIcon icon = Symbols::icon(Symbol::gauge, Qt::white);
    EXPECT_FALSE(icon.isNull());
    EXPECT_TRUE(icon.availableSizes().contains(QSize(22, 22)));
    EXPECT_EQ(icon.pixmap(QSize(16, 16), 2.0).toImage().size(), QSize(32, 32));
}
