#include "Theme.hpp"

#include <gtest/gtest.h>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>

using namespace vellumkite;

TEST(ThemeTest, DigitsTakeEqualWidthsInAnyFont) {
    for (const char* family : {"DejaVu Sans", "Nimbus Sans", "P052"}) {
        QFont font(QString::fromLatin1(family));
        font.setPixelSize(13);
        const qreal ones = Theme::monoDigitsWidth(font, QStringLiteral("11:11 \u00B7 1%"));
        EXPECT_DOUBLE_EQ(Theme::monoDigitsWidth(font, QStringLiteral("88:88 \u00B7 8%")), ones)
            << family;
        EXPECT_DOUBLE_EQ(Theme::monoDigitsWidth(font, QStringLiteral("40:27 \u00B7 9%")), ones)
            << family;
    }

    // What is drawn stays within the measured width.
    QFont font;
    font.setPixelSize(20);
    const QString text = QStringLiteral("1,234 tokens/min");
    const qreal width = Theme::monoDigitsWidth(font, text);
    QImage image(static_cast<int>(width) + 40, 30, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(Qt::black);
    Theme::drawMonoDigits(painter, QPointF(10, 22), text);
    painter.end();
    int left = image.width(), right = -1;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y).lightness() < 128) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
    EXPECT_GE(left, 10);
    EXPECT_LE(right, 10 + width + 1);
    EXPECT_GT(right, 10 + width * 0.8);
}

TEST(ThemeTest, WrapKeepsLinesWithinTheWidth) {
    const QFont font = Theme::caption();
    const QString text = QStringLiteral(
        "Tool output stays in the chat and is re-read by every later message. A path like "
        "/home/someone/projects/a-very-long-directory-name-without-any-spaces-at-all/file.txt "
        "wraps too.");
    const QStringList lines = Theme::wrapText(text, font, 150);
    EXPECT_GT(lines.size(), 3);
    for (const QString& line : lines)
        EXPECT_LE(QFontMetricsF(font).horizontalAdvance(line), 150) << line.toStdString();
    EXPECT_EQ(lines.join(QString()).remove(u' '), QString(text).remove(u' '));

    EXPECT_TRUE(Theme::wrapText(QString(), font, 150).isEmpty());
    // No usable width still ends, with a character or so per line.
    EXPECT_EQ(Theme::wrapText(QStringLiteral("abc"), font, 0).size(), 3);
    EXPECT_EQ(Theme::wrapText(QStringLiteral("abc"), font, qQNaN(), 2).size(), 2);
}
