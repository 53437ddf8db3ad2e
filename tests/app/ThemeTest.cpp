#include "Theme.hpp"

#include <gtest/gtest.h>
#include <QApplication>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>

using namespace vellumkite;

TEST(ThemeTest, RolesFollowThePalette) {
    QPalette dark;
    dark.setColor(QPalette::WindowText, Qt::white);
    dark.setColor(QPalette::Highlight, QColor(10, 132, 255));
    EXPECT_EQ(Theme::primary(dark), QColor(Qt::white));
    EXPECT_EQ(Theme::secondary(dark).rgb(), QColor(Qt::white).rgb());
    EXPECT_LT(Theme::secondary(dark).alphaF(), 1);
    EXPECT_LT(Theme::tertiary(dark).alphaF(), Theme::secondary(dark).alphaF());
    EXPECT_GT(Theme::tertiary(dark).alphaF(), 0);
    EXPECT_EQ(Theme::accent(dark), QColor(10, 132, 255));
    EXPECT_DOUBLE_EQ(Theme::withOpacity(QColor(0, 0, 0, 128), 0.5).alphaF(),
                     QColor(0, 0, 0, 64).alphaF());
}

TEST(ThemeTest, TextStylesKeepTheirOrderAndTheApplicationFamily) {
    const QFont base = QApplication::font();
    const auto size = [](const QFont& f) { return QFontMetricsF(f).height(); };
    EXPECT_LT(size(Theme::caption()), size(Theme::callout()));
    EXPECT_LE(size(Theme::callout()), size(Theme::headline()));
    EXPECT_LT(size(Theme::headline()), size(Theme::title3()));
    EXPECT_EQ(Theme::headline().weight(), QFont::DemiBold);
    EXPECT_EQ(Theme::caption().family(), base.family());
    EXPECT_EQ(Theme::systemFont(13).pointSizeF(), base.pointSizeF());
    EXPECT_EQ(Theme::systemFont(qQNaN()).pointSizeF(), base.pointSizeF());
    EXPECT_EQ(Theme::systemFont(12, QFont::Medium).weight(), QFont::Medium);
}

TEST(ThemeTest, DigitsTakeEqualWidthsInAnyFont) {
    for (const char* family : {"DejaVu Sans", "Nimbus Sans", "P052", "URW Gothic"}) {
        QFont font(QString::fromLatin1(family));
        font.setPixelSize(13);
        const qreal ones = Theme::monoDigitsWidth(font, QStringLiteral("11:11 \u00B7 1%"));
        EXPECT_DOUBLE_EQ(Theme::monoDigitsWidth(font, QStringLiteral("88:88 \u00B7 8%")), ones)
            << family;
        EXPECT_DOUBLE_EQ(Theme::monoDigitsWidth(font, QStringLiteral("40:27 \u00B7 9%")), ones)
            << family;
        EXPECT_DOUBLE_EQ(Theme::monoDigitsWidth(font, QString()), 0);
    }
}

TEST(ThemeTest, MonoDigitsDrawWithinTheirMeasuredWidth) {
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
    int leftmost = image.width(), rightmost = -1;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y).lightness() < 128) {
                leftmost = std::min(leftmost, x);
                rightmost = std::max(rightmost, x);
            }
    EXPECT_GE(leftmost, 10);
    EXPECT_LE(rightmost, 10 + width + 1);
    EXPECT_GT(rightmost, 10 + width * 0.8);
}

TEST(ThemeTest, WrapKeepsLinesWithinTheWidth) {
    const QFont font = Theme::caption();
    const QFontMetricsF metrics(font);
    const QString text = QStringLiteral(
        "Tool output stays in the chat and is re-read by every later message. A path like "
        "/home/someone/projects/a-very-long-directory-name-without-any-spaces-at-all/file.txt "
        "wraps too.");
    const QStringList lines = Theme::wrapText(text, font, 150);
    EXPECT_GT(lines.size(), 3);
    for (const QString& line : lines)
        EXPECT_LE(metrics.horizontalAdvance(line), 150) << line.toStdString();
    EXPECT_EQ(lines.join(QString()).remove(u' '), QString(text).remove(u' '));

    EXPECT_TRUE(Theme::wrapText(QString(), font, 150).isEmpty());
    EXPECT_EQ(Theme::wrapText(QStringLiteral("short"), font, 150, 3), QStringList{"short"});
    // No usable width still ends, with a character or so per line.
    EXPECT_EQ(Theme::wrapText(QStringLiteral("abc"), font, 0).size(), 3);
    EXPECT_EQ(Theme::wrapText(QStringLiteral("abc"), font, qQNaN(), 2).size(), 2);
}
