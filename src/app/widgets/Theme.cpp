#include "Theme.hpp"

#include "Desktop.hpp"
#include "Gauge.hpp"

#include <algorithm>
#include <cmath>
#include <QApplication>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>
#include <QWidget>

namespace vellumkite {

namespace {

// Dimming of the foreground for supporting and faint text at most: a touch stronger than the
// usual half, because Linux text rendering thins small grey type. Less where the palette needs.
constexpr qreal kSecondaryOpacity = 0.6;
constexpr qreal kTertiaryOpacity = 0.32;
// Aimed a little above the ratios, so that rounding to 8-bit channels never drops below them.
constexpr double kMargin = 0.1;

// Named styles as multiples of the body size, which the application font stands for.
constexpr qreal kBodyPoints = 13;

QFont styleFont(qreal points, QFont::Weight weight) {
    QFont font = QApplication::font();
    const qreal factor = points / kBodyPoints;
    if (font.pointSizeF() > 0)
        font.setPointSizeF(font.pointSizeF() * factor);
    else if (font.pixelSize() > 0)
        font.setPixelSize(std::max(1, qRound(font.pixelSize() * factor)));
    font.setWeight(weight);
    return font;
}

bool isAsciiDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

double linear(double channel) {
    return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}

double luminance(const QColor& c) {
    return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
}

// The foreground at the least opacity from `start` up that stands out by the ratio.
QColor dimmed(const QPalette& palette, qreal start, double ratio) {
    const QColor ink = palette.color(QPalette::WindowText);
    const QColor window = palette.color(QPalette::Window);
    for (qreal opacity = start; opacity < 1; opacity += 0.02) {
        const QColor c = Theme::withOpacity(ink, opacity);
        if (Theme::contrast(Theme::over(c, window), window) >= ratio + kMargin)
            return c;
    }
    return ink;
}

QColor levelBase(Level level) {
    switch (level) {
    case Level::info:
        return Theme::green();
    case Level::warn:
        return Theme::orange();
    case Level::alert:
        return Theme::red();
    }
    return Theme::green();
}

qreal digitCell(const QFontMetricsF& metrics) {
    qreal cell = 0;
    for (char16_t d = u'0'; d <= u'9'; ++d)
        cell = std::max(cell, metrics.horizontalAdvance(QChar(d)));
    return cell;
}

} // namespace

QColor Theme::primary(const QPalette& palette) {
    return palette.color(QPalette::WindowText);
}

QColor Theme::secondary(const QPalette& palette) {
    return dimmed(palette, kSecondaryOpacity, kTextContrast);
}

QColor Theme::tertiary(const QPalette& palette) {
    return dimmed(palette, kTertiaryOpacity, kGraphicContrast);
}

QColor Theme::accent(const QPalette& palette) {
    return legible(palette.color(QPalette::Highlight), palette.color(QPalette::Window),
                   kGraphicContrast);
}

double Theme::contrast(const QColor& a, const QColor& b) {
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor Theme::over(const QColor& color, const QColor& background) {
    const qreal a = color.alphaF();
    const auto mix = [a](qreal fg, qreal bg) { return fg * a + bg * (1 - a); };
    // In whole 8-bit channels, as a picture holds it.
    return QColor(QColor::fromRgbF(static_cast<float>(mix(color.redF(), background.redF())),
                                   static_cast<float>(mix(color.greenF(), background.greenF())),
                                   static_cast<float>(mix(color.blueF(), background.blueF())))
                      .rgb());
}

QColor Theme::legible(const QColor& color, const QColor& background, double ratio) {
    const QColor opaque = over(color, background);
    if (contrast(opaque, background) >= ratio + kMargin)
        return color;
    // Toward black on a light background, toward white on a dark one, in small steps of
    // lightness; the hue and saturation stay.
    const bool darken = luminance(background) > 0.18;
    float h = 0, sat = 0, l = 0, a = 0;
    opaque.getHslF(&h, &sat, &l, &a);
    for (int step = 1; step <= 100; ++step) {
        const float next = darken ? l * (1 - step / 100.0F) : l + (1 - l) * (step / 100.0F);
        const QColor c(QColor::fromHslF(h, sat, next).rgb());
        if (contrast(c, background) >= ratio + kMargin)
            return c;
    }
    return darken ? QColor(Qt::black) : QColor(Qt::white);
}

bool Theme::isDark(const QPalette& palette) {
    return palette.color(QPalette::Window).lightnessF() < 0.5;
}

QColor Theme::green() {
    return QColor(0x34, 0xC7, 0x59);
}
QColor Theme::orange() {
    return QColor(0xFF, 0x95, 0x00);
}
QColor Theme::red() {
    return QColor(0xFF, 0x3B, 0x30);
}

QColor Theme::withOpacity(QColor color, qreal opacity) {
    color.setAlphaF(color.alphaF() * std::clamp<qreal>(opacity, 0, 1));
    return color;
}

void Theme::preparePanelWindow(QWidget& window) {
    window.setWindowTitle(QStringLiteral("Vellumkite"));
    window.setAttribute(Qt::WA_TranslucentBackground, Desktop::compositing());
    window.setAttribute(Qt::WA_MacAlwaysShowToolWindow);
}

void Theme::paintPanel(QPainter& painter, const QWidget& widget, qreal cornerRadius,
                       qreal opacity) {
    constexpr qreal kBorderOpacity = 0.12;
    const QPalette palette = widget.palette();
    const QSizeF size = widget.size();
    if (!widget.window()->testAttribute(Qt::WA_TranslucentBackground)) {
        cornerRadius = 0;
        opacity = 1;
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    // Half a pixel in, so that the hairline falls on whole pixels.
    const QRectF bounds = QRectF(QPointF(0, 0), size).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath shape;
    shape.addRoundedRect(bounds, cornerRadius, cornerRadius);
    painter.fillPath(shape, withOpacity(palette.color(QPalette::Window), opacity));
    painter.setPen(QPen(withOpacity(primary(palette), kBorderOpacity), 1));
    painter.drawPath(shape);
    painter.restore();
}

void Theme::paintClipMark(QPainter& painter, const QRectF& bar, const QPalette& palette) {
    constexpr qreal kBelowTop = 4;
    constexpr qreal kGap = 1.5;
    if (bar.height() < kBelowTop + kGap + 2)
        return;
    painter.save();
    painter.setPen(Qt::NoPen);
    painter.setBrush(palette.color(QPalette::Window));
    painter.drawRect(QRectF(bar.left(), bar.top() + kBelowTop, bar.width(), kGap));
    painter.restore();
}

QColor Theme::levelColor(Level level, const QPalette& palette) {
    return legible(levelBase(level), palette.color(QPalette::Window), kGraphicContrast);
}

QColor Theme::levelTextColor(Level level, const QPalette& palette) {
    return legible(levelBase(level), palette.color(QPalette::Window), kTextContrast);
}

QColor Theme::gaugeColor(double percent, const QPalette& palette) {
    return levelColor(Gauge::level(percent), palette);
}

QColor Theme::gaugeTextColor(double percent, const QPalette& palette) {
    return levelTextColor(Gauge::level(percent), palette);
}

QFont Theme::headline() {
    return styleFont(13, QFont::DemiBold);
}
QFont Theme::callout() {
    return styleFont(12, QFont::Normal);
}
QFont Theme::caption() {
    return styleFont(11, QFont::Normal);
}
QFont Theme::title3() {
    return styleFont(15, QFont::Normal);
}

QFont Theme::systemFont(qreal points, QFont::Weight weight) {
    return styleFont(std::isfinite(points) && points > 0 ? points : kBodyPoints, weight);
}

qreal Theme::fontScale() {
    constexpr qreal kDrawnFor = 12;
    return std::max<qreal>(1, QFontInfo(QApplication::font()).pixelSize() / kDrawnFor);
}

qreal Theme::monoDigitsWidth(const QFont& font, const QString& text) {
    const QFontMetricsF metrics(font);
    const qreal cell = digitCell(metrics);
    qreal width = 0;
    qsizetype runStart = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i < text.size() && !isAsciiDigit(text[i]))
            continue;
        width += metrics.horizontalAdvance(text.mid(runStart, i - runStart));
        if (i < text.size())
            width += cell;
        runStart = i + 1;
    }
    return width;
}

int Theme::columnWidth(const QFont& font, const QString& widest) {
    return static_cast<int>(std::ceil(monoDigitsWidth(font, widest)));
}

void Theme::drawMonoDigits(QPainter& painter, const QPointF& origin, const QString& text) {
    const QFontMetricsF metrics(painter.font());
    const qreal cell = digitCell(metrics);
    qreal x = origin.x();
    qsizetype runStart = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i < text.size() && !isAsciiDigit(text[i]))
            continue;
        if (i > runStart) {
            const QString run = text.mid(runStart, i - runStart);
            painter.drawText(QPointF(x, origin.y()), run);
            x += metrics.horizontalAdvance(run);
        }
        if (i < text.size()) {
            const qreal advance = metrics.horizontalAdvance(text[i]);
            painter.drawText(QPointF(x + (cell - advance) / 2, origin.y()), QString(text[i]));
            x += cell;
        }
        runStart = i + 1;
    }
}

QStringList Theme::wrapText(const QString& text, const QFont& font, qreal width, int maxLines) {
    QStringList lines;
    if (text.isEmpty())
        return lines;
    // A width that is not positive would wrap every character onto its own line.
    width = std::isfinite(width) ? std::max<qreal>(width, 1) : 1;

    QString source = text;
    source.replace(u'\n', QChar::LineSeparator);
    QTextLayout layout(source, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    QList<QTextLine> textLines;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        textLines.append(line);
        // One line past the limit is enough to know the text goes on.
        if (maxLines > 0 && textLines.size() > maxLines)
            break;
    }
    layout.endLayout();

    const auto lineText = [&](qsizetype start, qsizetype length) {
        QString s = source.mid(start, length);
        s.replace(QChar::LineSeparator, u' ');
        while (!s.isEmpty() && s.back().isSpace())
            s.chop(1);
        return s;
    };

    const bool cut = maxLines > 0 && textLines.size() > maxLines;
    const qsizetype kept = cut ? maxLines : textLines.size();
    for (qsizetype i = 0; i < kept; ++i)
        lines.append(lineText(textLines[i].textStart(), textLines[i].textLength()));
    if (cut) {
        // The last kept line runs on to the next hard break and is then cut to fit with an
        // ellipsis, which always shows, also where a hard break ended the line early.
        const QFontMetricsF metrics(font);
        const QString ellipsis(QChar(0x2026));
        const qsizetype start = textLines[kept - 1].textStart();
        const qsizetype hardBreak = source.indexOf(QChar::LineSeparator, start);
        QString last = metrics.elidedText(lineText(start, hardBreak < 0 ? -1 : hardBreak - start),
                                          Qt::ElideRight, width);
        if (!last.endsWith(ellipsis)) {
            while (!last.isEmpty() && metrics.horizontalAdvance(last + ellipsis) > width)
                last.chop(1);
            while (!last.isEmpty() && last.back().isSpace())
                last.chop(1);
            last += ellipsis;
        }
        lines.back() = last;
    }
    return lines;
}

} // namespace vellumkite
