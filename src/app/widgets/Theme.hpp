#pragma once

#include "Thresholds.hpp"

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QSizeF>
#include <QString>
#include <QStringList>

class QPainter;
class QWidget;
class QPointF;

namespace vellumkite {

// Colours by role and the named text styles, shared by every drawn component so that light and
// dark palettes both work and sizes stay in proportion to the user's chosen font.
//
// Every colour drawn on a palette's window is picked for that palette: text stands out from its
// background by at least kTextContrast, graphics that carry meaning by kGraphicContrast.
struct Theme {
    static constexpr double kTextContrast = 4.5;
    static constexpr double kGraphicContrast = 3.0;

    // Roles, read from the palette the widget is drawn with. Secondary text is the foreground
    // dimmed as far as it stays legible text; tertiary as far as it stays a legible graphic.
    static QColor primary(const QPalette& palette);
    static QColor secondary(const QPalette& palette);
    static QColor tertiary(const QPalette& palette);
    // The palette's highlight, made as dark or light as a graphic needs on the window.
    static QColor accent(const QPalette& palette);

    // The standard shades the level colours start from.
    static QColor green();
    static QColor orange();
    static QColor red();

    // The WCAG contrast ratio of two opaque colours, 1 to 21.
    static double contrast(const QColor& a, const QColor& b);
    // The colour as seen over an opaque background.
    static QColor over(const QColor& color, const QColor& background);
    // The colour, darkened on a light background or lightened on a dark one (its hue kept) until
    // it stands out from the background by the ratio; unchanged when it already does.
    static QColor legible(const QColor& color, const QColor& background, double ratio);
    // Whether the palette's window is dark.
    static bool isDark(const QPalette& palette);

    // The colour with its alpha multiplied by opacity (0 to 1).
    static QColor withOpacity(QColor color, qreal opacity);

    // The background of a panel (the popover, the floating box) filling the widget, ringed by a
    // faint hairline: a rounded rectangle in the window colour at the given opacity where its
    // window is translucent; square and opaque where it is not, since no compositor draws what
    // lies under it.
    static void paintPanel(QPainter& painter, const QWidget& widget, qreal cornerRadius,
                           qreal opacity);
    // Readies a frameless panel window before it is first shown: titled, translucent where a
    // compositor draws the windows, and kept shown by macOS while the app is inactive, which a
    // menu-bar app nearly always is.
    static void preparePanelWindow(QWidget& window);

    // Green, orange or red, as a graphic (a dot, a gauge) on the palette's window.
    static QColor levelColor(Level level, const QPalette& palette);
    // The same as text.
    static QColor levelTextColor(Level level, const QPalette& palette);
    // The colour of Gauge::level for a percentage, as a graphic and as text.
    static QColor gaugeColor(double percent, const QPalette& palette);
    static QColor gaugeTextColor(double percent, const QPalette& palette);

    // The mark across the top of a bar whose value reaches past the chart: a gap in the window's
    // colour a little under its top.
    static void paintClipMark(QPainter& painter, const QRectF& bar, const QPalette& palette);

    // Named styles derived from the application font, which stands for the body text.
    static QFont headline();
    static QFont callout();
    static QFont caption();
    static QFont title3();
    // The application font resized so that `points` relates to it as a size does to a 13-point
    // body text; for views whose sizes are given in points.
    static QFont systemFont(qreal points, QFont::Weight weight = QFont::Normal);
    // How much larger the application font is than the one the layouts were drawn for (a
    // 12-pixel body text), never below 1: fixed widths are multiplied by it.
    static qreal fontScale();
    static int scaledWidth(int pixels) { return qRound(pixels * fontScale()); }

    // Monospaced digits: every digit advances by the widest digit's advance and is centred in
    // its cell, so changing numbers keep their width. Other characters keep their own advances.
    static qreal monoDigitsWidth(const QFont& font, const QString& text);
    // A column wide enough for the text in monospaced digits, in whole pixels.
    static int columnWidth(const QFont& font, const QString& widest);
    // Draws with the painter's font and pen, the baseline starting at origin.
    static void drawMonoDigits(QPainter& painter, const QPointF& origin, const QString& text);

    // The lines a text wraps into at the given width (at word boundaries where it can, anywhere
    // where a word is too long). With maxLines > 0 only that many are kept and the last one is
    // cut off with an ellipsis when the text goes on.
    static QStringList wrapText(const QString& text, const QFont& font, qreal width,
                                int maxLines = 0);
};

} // namespace vellumkite
