#include "Symbols.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <QPainter>
#include <QPainterPathStroker>
#include <QPolygonF>
#include <QTransform>
#include <utility>
#include <vector>

namespace vellumkite {

namespace {

constexpr std::array<std::pair<Symbol, std::string_view>, 7> kNames{{
    {Symbol::gauge, "gauge.with.dots.needle.33percent"},
    {Symbol::lightbulb, "lightbulb.fill"},
    {Symbol::exclamationCircle, "exclamationmark.circle.fill"},
    {Symbol::exclamationTriangle, "exclamationmark.triangle.fill"},
    {Symbol::xmarkCircle, "xmark.circle.fill"},
    {Symbol::lines, "line.3.horizontal"},
    {Symbol::checkmark, "checkmark"},
}};
static_assert(
    [] {
        for (std::size_t i = 0; i < kNames.size(); ++i)
            if (kNames[i].first != static_cast<Symbol>(i))
                return false;
        return true;
    }(),
    "kNames lists the symbols in their declaration order");

QPainterPath circle(QPointF centre, qreal radius) {
    QPainterPath p;
    p.addEllipse(centre, radius, radius);
    return p;
}

// The outline of a polyline drawn with round ends and joins.
QPainterPath stroke(const QPolygonF& points, qreal width) {
    QPainterPath line;
    line.addPolygon(points);
    QPainterPathStroker stroker;
    stroker.setWidth(width);
    stroker.setCapStyle(Qt::RoundCap);
    stroker.setJoinStyle(Qt::RoundJoin);
    return stroker.createStroke(line).simplified();
}

QPainterPath capsule(QPointF from, QPointF to, qreal width) {
    return stroke({from, to}, width);
}

// A point on a circle, the angle in degrees counter-clockwise from three o'clock.
QPointF onCircle(QPointF centre, qreal radius, qreal degrees) {
    const qreal a = degrees * std::numbers::pi / 180;
    return {centre.x() + radius * std::cos(a), centre.y() - radius * std::sin(a)};
}

QPainterPath exclamation(qreal top, qreal bottom, qreal width, qreal dotY, qreal dotRadius) {
    return capsule({12, top}, {12, bottom}, width).united(circle({12, dotY}, dotRadius));
}

// The dial; below about 20 device pixels fewer, larger dots and a heavier rim keep it legible.
QPainterPath gauge(bool small) {
    const QPointF c(12, 12);
    QPainterPath p = circle(c, 10.9).subtracted(circle(c, small ? 8.6 : 8.9));
    const std::vector<qreal> dots =
        small ? std::vector<qreal>{180, 90, 0} : std::vector<qreal>{210, 150, 90, 30, -30};
    for (const qreal angle : dots)
        p = p.united(circle(onCircle(c, small ? 6.0 : 6.4, angle), small ? 1.5 : 1.15));
    // A third of the way along the dial's 270-degree sweep, which starts at 225 degrees.
    p = p.united(capsule(c, onCircle(c, 6.0, 225 - 0.33 * 270), small ? 2.4 : 2.0));
    return p.united(circle(c, small ? 2.6 : 2.3));
}

QPainterPath gridPath(Symbol symbol) {
    switch (symbol) {
    case Symbol::gauge:
        return gauge(false);
    case Symbol::lightbulb: {
        QPainterPath neck;
        neck.addPolygon(QPolygonF{{6.3, 12.5}, {17.7, 12.5}, {15.6, 17.2}, {8.4, 17.2}});
        neck.closeSubpath();
        QPainterPath bands;
        bands.addRoundedRect(QRectF(8.4, 18.2, 7.2, 1.7), 0.85, 0.85);
        bands.addRoundedRect(QRectF(9.4, 20.6, 5.2, 1.8), 0.9, 0.9);
        return circle({12, 9}, 7.2).united(neck).united(bands);
    }
    case Symbol::exclamationCircle:
        return circle({12, 12}, 10.5).subtracted(exclamation(6.6, 13.2, 2.5, 17.1, 1.45));
    case Symbol::exclamationTriangle: {
        const QPolygonF corners{{12, 3.6}, {2.6, 19.9}, {21.4, 19.9}, {12, 3.6}};
        QPainterPath body;
        body.addPolygon(corners);
        body.closeSubpath();
        body = body.united(stroke(corners, 3.2));
        return body.subtracted(exclamation(9.0, 14.0, 2.3, 17.2, 1.35));
    }
    case Symbol::xmarkCircle:
        return circle({12, 12}, 10.5)
            .subtracted(capsule({8.3, 8.3}, {15.7, 15.7}, 2.3)
                            .united(capsule({15.7, 8.3}, {8.3, 15.7}, 2.3)));
    case Symbol::lines: {
        QPainterPath p;
        for (const qreal y : {6.0, 12.0, 18.0})
            p.addRoundedRect(QRectF(3, y - 1, 18, 2), 1, 1);
        return p;
    }
    case Symbol::checkmark:
        return stroke({{4.6, 12.9}, {9.6, 18.0}, {19.6, 5.9}}, 2.6);
    }
    return {};
}

// The three bars, with their thickness and edges on whole device pixels.
QPainterPath snappedLines(const QRectF& square, qreal dpr) {
    const qreal unit = square.width() / Symbols::kGrid;
    const qreal thickness = std::max<qreal>(1, std::round(2 * unit * dpr)) / dpr;
    const qreal left = std::round((square.left() + 3 * unit) * dpr) / dpr;
    const qreal right = std::round((square.left() + 21 * unit) * dpr) / dpr;
    QPainterPath p;
    for (const qreal y : {6.0, 12.0, 18.0}) {
        const qreal top = std::round((square.top() + y * unit - thickness / 2) * dpr) / dpr;
        p.addRoundedRect(QRectF(left, top, right - left, thickness), thickness / 2, thickness / 2);
    }
    return p;
}

} // namespace

std::string_view Symbols::name(Symbol symbol) {
    for (const auto& [s, n] : kNames)
        if (s == symbol)
            return n;
    return {};
}

std::optional<Symbol> Symbols::fromName(std::string_view name) {
    for (const auto& [s, n] : kNames)
        if (n == name)
            return s;
    return std::nullopt;
}

QPainterPath Symbols::path(Symbol symbol, const QRectF& box, qreal devicePixelRatio) {
    const qreal side = std::min(box.width(), box.height());
    if (!(side > 0) || !std::isfinite(side))
        return {};
    const QRectF square(box.center().x() - side / 2, box.center().y() - side / 2, side, side);
    const qreal dpr =
        devicePixelRatio > 0 && std::isfinite(devicePixelRatio) ? devicePixelRatio : 1;
    if (symbol == Symbol::lines)
        return snappedLines(square, dpr);
    static const QPainterPath smallGauge = gauge(true);
    const bool small = symbol == Symbol::gauge && side * dpr < 20;

    // Built once per symbol; only the scaling is per call.
    static const std::array<QPainterPath, kNames.size()> grid = [] {
        std::array<QPainterPath, kNames.size()> paths;
        for (std::size_t i = 0; i < kNames.size(); ++i)
            paths[i] = gridPath(kNames[i].first);
        return paths;
    }();
    const auto index = static_cast<std::size_t>(symbol);
    if (index >= grid.size())
        return {};
    QTransform t;
    t.translate(square.left(), square.top());
    t.scale(side / kGrid, side / kGrid);
    return t.map(small ? smallGauge : grid[index]);
}

void Symbols::paint(QPainter& painter, Symbol symbol, const QRectF& box, const QColor& color) {
    const qreal dpr = painter.device() ? painter.device()->devicePixelRatio() : 1;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawPath(path(symbol, box, dpr));
    painter.restore();
}

QPixmap Symbols::pixmap(Symbol symbol, int size, qreal devicePixelRatio, const QColor& color) {
    const qreal dpr =
        devicePixelRatio > 0 && std::isfinite(devicePixelRatio) ? devicePixelRatio : 1;
    size = std::clamp(size, 1, 1024);
    const int pixels = std::max(1, static_cast<int>(std::ceil(size * dpr)));
    QPixmap pm(pixels, pixels);
    pm.setDevicePixelRatio(dpr);
    pm.fill(Qt::transparent);
    QPainter painter(&pm);
    paint(painter, symbol, QRectF(0, 0, size, size), color);
    return pm;
}

QIcon Symbols::icon(Symbol symbol, const QColor& color) {
    QIcon icon;
    for (const int size : {16, 22, 32, 48}) {
        icon.addPixmap(pixmap(symbol, size, 1, color));
        icon.addPixmap(pixmap(symbol, size, 2, color));
    }
    return icon;
}

} // namespace vellumkite
