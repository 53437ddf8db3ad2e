#include "Theme.hpp"

#include "Gauge.hpp"

#include <algorithm>
#include <cmath>
#include <QApplication>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>

namespace vellumkite {

namespace {

// Dimming of the foreground for supporting and faint text: a touch stronger than the usual
// half, because Linux text rendering thins small grey type.
constexpr qreal kSecondaryOpacity = 0.6;
constexpr qreal kTertiaryOpacity = 0.32;

// Named styles as multiples of the body size, which the application font stands for.
constexpr qreal kBodyPoints = 13;

QFont scaled(qreal points, QFont::Weight weight) {
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
    return withOpacity(primary(palette), kSecondaryOpacity);
}

QColor Theme::tertiary(const QPalette& palette) {
    return withOpacity(primary(palette), kTertiaryOpacity);
}

QColor Theme::accent(const QPalette& palette) {
    return palette.color(QPalette::Highlight);
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

void Theme::paintPanel(QPainter& painter, const QSizeF& size, qreal cornerRadius,
                       const QPalette& palette, qreal opacity) {
    constexpr qreal kBorderOpacity = 0.12;
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

QColor Theme::levelColor(Level level) {
    switch (level) {
    case Level::info:
        return green();
    case Level::warn:
        return orange();
    case Level::alert:
        return red();
    }
    return green();
}

QColor Theme::gaugeColor(double percent) {
    return levelColor(Gauge::level(percent));
}

QFont Theme::headline() {
    return scaled(13, QFont::DemiBold);
}
QFont Theme::callout() {
    return scaled(12, QFont::Normal);
}
QFont Theme::caption() {
    return scaled(11, QFont::Normal);
}
QFont Theme::title3() {
    return scaled(15, QFont::Normal);
}

QFont Theme::systemFont(qreal points, QFont::Weight weight) {
    return scaled(std::isfinite(points) && points > 0 ? points : kBodyPoints, weight);
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
