#pragma once

#include "Thresholds.hpp"

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QSizeF>
#include <QString>
#include <QStringList>

class QPainter;
class QPointF;

namespace vellumkite {

// Colours by role and the named text styles, shared by every drawn component so that light and
// dark palettes both work and sizes stay in proportion to the user's chosen font.
struct Theme {
    // Roles, read from the palette the widget is drawn with.
    static QColor primary(const QPalette& palette);
    static QColor secondary(const QPalette& palette);
    static QColor tertiary(const QPalette& palette);
    static QColor accent(const QPalette& palette);

    // Fixed standard shades, legible on light and dark backgrounds alike.
    static QColor green();
    static QColor orange();
    static QColor red();

    // The colour with its alpha multiplied by opacity (0 to 1).
    static QColor withOpacity(QColor color, qreal opacity);

    // The background of a panel (the popover, the floating box): a rounded rectangle filling
    // size, in the window colour at the given opacity, ringed by a faint hairline.
    static void paintPanel(QPainter& painter, const QSizeF& size, qreal cornerRadius,
                           const QPalette& palette, qreal opacity);

    // Green, orange or red.
    static QColor levelColor(Level level);
    // The colour of Gauge::level for a percentage.
    static QColor gaugeColor(double percent);

    // Named styles derived from the application font, which stands for the body text.
    static QFont headline();
    static QFont callout();
    static QFont caption();
    static QFont title3();
    // The application font resized so that `points` relates to it as a size does to a 13-point
    // body text; for views whose sizes are given in points.
    static QFont systemFont(qreal points, QFont::Weight weight = QFont::Normal);

    // Monospaced digits: every digit advances by the widest digit's advance and is centred in
    // its cell, so changing numbers keep their width. Other characters keep their own advances.
    static qreal monoDigitsWidth(const QFont& font, const QString& text);
    // Draws with the painter's font and pen, the baseline starting at origin.
    static void drawMonoDigits(QPainter& painter, const QPointF& origin, const QString& text);

    // The lines a text wraps into at the given width (at word boundaries where it can, anywhere
    // where a word is too long). With maxLines > 0 only that many are kept and the last one is
    // cut off with an ellipsis when the text goes on.
    static QStringList wrapText(const QString& text, const QFont& font, qreal width,
                                int maxLines = 0);
};

} // namespace vellumkite
