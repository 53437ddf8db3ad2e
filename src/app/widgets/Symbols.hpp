#pragma once

#include <optional>
#include <QColor>
#include <QIcon>
#include <QPainterPath>
#include <QPixmap>
#include <QRectF>
#include <string_view>

class QPainter;

namespace vellumkite {

// The symbols the views show, drawn as our own vector shapes on a 24-unit grid so that they stay
// crisp at any size and pixel density and take any tint.
enum class Symbol {
    gauge,               // "gauge.with.dots.needle.33percent"
    lightbulb,           // "lightbulb.fill"
    exclamationCircle,   // "exclamationmark.circle.fill"
    exclamationTriangle, // "exclamationmark.triangle.fill"
    xmarkCircle,         // "xmark.circle.fill"
    lines,               // "line.3.horizontal"
    checkmark,           // "checkmark"
};

struct Symbols {
    static constexpr qreal kGrid = 24;

    // The symbol's system name, and the symbol for one.
    static std::string_view name(Symbol symbol);
    static std::optional<Symbol> fromName(std::string_view name);

    // The outline to fill, scaled into the square centred in box. Thin strokes are snapped to
    // the device pixel grid for the given pixel ratio so that they stay sharp at small sizes.
    static QPainterPath path(Symbol symbol, const QRectF& box, qreal devicePixelRatio = 1);

    // Fills the symbol in color into the square centred in box.
    static void paint(QPainter& painter, Symbol symbol, const QRectF& box, const QColor& color);

    // A transparent pixmap of size × size logical pixels at the given pixel ratio.
    static QPixmap pixmap(Symbol symbol, int size, qreal devicePixelRatio, const QColor& color);

    // An icon holding the symbol at the usual small sizes, each at 1x and 2x.
    static QIcon icon(Symbol symbol, const QColor& color);
};

} // namespace vellumkite
