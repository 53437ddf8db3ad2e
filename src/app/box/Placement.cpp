#include "Placement.hpp"

#include <algorithm>
#include <cmath>

namespace vellumkite {

namespace {

bool valid(int index, const QList<QRectF>& screens) {
    return index >= 0 && index < screens.size();
}

// Inside the screen; where it cannot fit, its right and top edges line up with the screen's and
// the rest hangs out to the left or below.
QRectF pushedInside(const QRectF& frame, const QRectF& v) {
    const qreal w = frame.width(), h = frame.height();
    const qreal x = std::min(std::max(frame.left(), v.left()), v.right() - w);
    const qreal y = std::max(std::min(frame.top(), v.bottom() - h), v.top());
    return QRectF(x, y, w, h);
}

} // namespace

bool Placement::overlaps(const QRectF& a, const QRectF& b) {
    const QRectF x = a.normalized(), y = b.normalized();
    const qreal w = std::min(x.right(), y.right()) - std::max(x.left(), y.left());
    const qreal h = std::min(x.bottom(), y.bottom()) - std::max(x.top(), y.top());
    return w > 0 && h > 0; // false for NaN too
}

std::optional<QPointF> Placement::startTopLeft(const QSizeF& size,
                                               const std::optional<QPointF>& stored,
                                               const QList<QRectF>& screens, int mainScreen) {
    if (stored) {
        const QRectF candidate(*stored, size);
        for (const QRectF& screen : screens)
            if (overlaps(screen, candidate))
                return stored;
    }
    const int index = valid(mainScreen, screens) ? mainScreen : 0;
    if (!valid(index, screens))
        return std::nullopt;
    const QRectF& v = screens[index];
    return QPointF(v.right() - size.width() - kRightMargin, v.top() + kTopMargin);
}

std::optional<QRectF> Placement::fit(const QRectF& frame, bool visible, const QSizeF& content,
                                     const std::optional<QPointF>& stored,
                                     const QList<QRectF>& screens, int mainScreen) {
    if (content == frame.size())
        return std::nullopt;

    // With nowhere to start from, the box stays where it is.
    const QPointF topLeft =
        visible ? frame.topLeft()
                : startTopLeft(content, stored, screens, mainScreen).value_or(frame.topLeft());
    const QRectF candidate(topLeft, content);

    int index = -1;
    for (int i = 0; i < screens.size() && index < 0; ++i)
        if (overlaps(screens[i], candidate))
            index = i;
    if (index < 0)
        index = mainScreen;
    if (!valid(index, screens))
        return candidate;

    return pushedInside(candidate, screens[index]);
}

std::optional<QRectF> Placement::keepInside(const QRectF& frame, const QList<QRectF>& screens,
                                            int mainScreen) {
    int best = -1;
    qreal most = 0;
    for (int i = 0; i < screens.size(); ++i) {
        if (screens[i].contains(frame))
            return std::nullopt;
        const QRectF common = screens[i].intersected(frame);
        if (common.width() * common.height() > most) {
            most = common.width() * common.height();
            best = i;
        }
    }
    if (best < 0)
        best = valid(mainScreen, screens) ? mainScreen : (screens.isEmpty() ? -1 : 0);
    if (best < 0)
        return std::nullopt;
    return pushedInside(frame, screens[best]);
}

} // namespace vellumkite
