#include "Placement.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

namespace vellumkite {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// A number starts at a digit, or at a sign or point directly followed by one.
bool startsNumber(const std::string& s, std::size_t i) {
    if (isDigit(s[i]))
        return true;
    std::size_t j = i;
    if (s[j] == '-' || s[j] == '+')
        ++j;
    if (j < s.size() && s[j] == '.')
        ++j;
    return j > i && j < s.size() && isDigit(s[j]);
}

std::string shortest(qreal value) {
    if (!std::isfinite(value) || value == 0)
        return "0"; // also folds -0
    char buf[64];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, static_cast<double>(value));
    return ec == std::errc() ? std::string(buf, end) : std::string("0");
}

bool valid(int index, const QList<QRectF>& screens) {
    return index >= 0 && index < screens.size();
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
    const qreal w = content.width(), h = content.height();

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

    // Pushed fully inside; where it cannot fit, its right and top edges line up with the
    // screen's and the rest hangs out to the left or below.
    const QRectF& v = screens[index];
    const qreal x = std::min(std::max(candidate.left(), v.left()), v.right() - w);
    const qreal y = std::max(std::min(candidate.top(), v.bottom() - h), v.top());
    return QRectF(x, y, w, h);
}

QPointF Placement::parsePoint(QStringView text) {
    const std::string s = text.toString().toStdString();
    qreal numbers[2] = {0, 0};
    int found = 0;
    for (std::size_t i = 0; i < s.size() && found < 2;) {
        if (!startsNumber(s, i)) {
            ++i;
            continue;
        }
        const std::size_t start = s[i] == '+' ? i + 1 : i;
        double value = 0;
        const auto [end, ec] = std::from_chars(s.data() + start, s.data() + s.size(), value);
        if (end == s.data() + start) {
            ++i;
            continue;
        }
        // A number too large to hold reads as nothing rather than as infinity.
        numbers[found++] = ec == std::errc() && std::isfinite(value) ? value : 0;
        i = static_cast<std::size_t>(end - s.data());
    }
    return {numbers[0], numbers[1]};
}

QString Placement::pointString(const QPointF& point) {
    return QString::fromStdString("{" + shortest(point.x()) + ", " + shortest(point.y()) + "}");
}

} // namespace vellumkite
