#pragma once

#include <optional>
#include <QList>
#include <QPointF>
#include <QRectF>
#include <QSizeF>

namespace vellumkite {

// Where the floating box goes, as plain geometry in global screen coordinates (y grows downward
// from the top-left of the primary screen). Screens are given by their available areas, in the
// window system's order; mainScreen indexes them, or is out of range when there is none.
struct Placement {
    static constexpr qreal kRightMargin = 12; // from the available area's right edge
    static constexpr qreal kTopMargin = 8;    // below the available area's top edge

    // Where a box of the given size first goes: the stored corner if any screen shows part of a
    // box placed there, else near the top-right of the main screen (or the first screen when
    // there is no main one). Nothing when there are no screens and the stored corner is unusable.
    static std::optional<QPointF> startTopLeft(const QSizeF& size,
                                               const std::optional<QPointF>& stored,
                                               const QList<QRectF>& screens, int mainScreen);

    // The frame for new content: a visible box keeps its top-left corner, a hidden one starts
    // over from startTopLeft; the result is pushed inside the screen it overlaps (or the main
    // screen), its top and right edges winning when it is larger than that screen. Nothing when
    // the content is exactly the current frame's size.
    static std::optional<QRectF> fit(const QRectF& frame, bool visible, const QSizeF& content,
                                     const std::optional<QPointF>& stored,
                                     const QList<QRectF>& screens, int mainScreen);

    // After the screens changed (one was removed, or its available area shrank): the frame
    // pushed inside the screen it overlaps most, or the main screen when it overlaps none, its
    // top and right edges winning when it is larger. Nothing when the frame lies wholly inside a
    // screen already, or there are no screens.
    static std::optional<QRectF> keepInside(const QRectF& frame, const QList<QRectF>& screens,
                                            int mainScreen);

    // True when the two rectangles share an area of non-zero size; touching edges do not count.
    static bool overlaps(const QRectF& a, const QRectF& b);
};

} // namespace vellumkite
