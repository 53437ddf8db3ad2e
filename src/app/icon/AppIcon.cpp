#include "AppIcon.hpp"

#include "Symbols.hpp"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRegularExpression>

namespace vellumkite {

namespace {

// On the 512 canvas: a little room all round, as icon themes expect.
const QRectF kTile(32, 32, 448, 448);
constexpr qreal kTileRadius = 100;
const QRectF kGlyph(106, 106, 300, 300);
const QColor kTop(0x3B, 0x8F, 0xF6);
const QColor kBottom(0x1B, 0x4F, 0xC4);

QPainterPath tile() {
    QPainterPath p;
    p.addRoundedRect(kTile, kTileRadius, kTileRadius);
    return p;
}

QPainterPath glyph() {
    return Symbols::path(Symbol::gauge, kGlyph);
}

QString number(qreal v) {
    return QString::number(v, 'f', 2).remove(QRegularExpression(QStringLiteral("\\.?0+$")));
}

QString svgPath(const QPainterPath& path) {
    QString d;
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        switch (e.type) {
        case QPainterPath::MoveToElement:
            d += QStringLiteral("M%1 %2").arg(number(e.x), number(e.y));
            break;
        case QPainterPath::LineToElement:
            d += QStringLiteral("L%1 %2").arg(number(e.x), number(e.y));
            break;
        case QPainterPath::CurveToElement: {
            const auto c2 = path.elementAt(i + 1);
            const auto end = path.elementAt(i + 2);
            d += QStringLiteral("C%1 %2 %3 %4 %5 %6")
                     .arg(number(e.x), number(e.y), number(c2.x), number(c2.y), number(end.x),
                          number(end.y));
            i += 2;
            break;
        }
        case QPainterPath::CurveToDataElement:
            break;
        }
    }
    return d;
}

} // namespace

QImage AppIcon::image(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(static_cast<qreal>(size) / kCanvas, static_cast<qreal>(size) / kCanvas);
    QLinearGradient fill(kTile.topLeft(), kTile.bottomLeft());
    fill.setColorAt(0, kTop);
    fill.setColorAt(1, kBottom);
    painter.fillPath(tile(), fill);
    painter.fillPath(glyph(), Qt::white);
    return image;
}

QString AppIcon::svg() {
    const QPainterPath g = glyph();
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                          "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" height=\"%1\" "
                          "viewBox=\"0 0 %1 %1\">\n"
                          "  <defs>\n"
                          "    <linearGradient id=\"tile\" x1=\"0\" y1=\"%2\" x2=\"0\" y2=\"%3\" "
                          "gradientUnits=\"userSpaceOnUse\">\n"
                          "      <stop offset=\"0\" stop-color=\"%4\"/>\n"
                          "      <stop offset=\"1\" stop-color=\"%5\"/>\n"
                          "    </linearGradient>\n"
                          "  </defs>\n"
                          "  <rect x=\"%2\" y=\"%2\" width=\"%6\" height=\"%6\" rx=\"%7\" "
                          "fill=\"url(#tile)\"/>\n"
                          "  <path fill=\"#ffffff\" fill-rule=\"%8\" d=\"%9\"/>\n"
                          "</svg>\n")
        .arg(kCanvas)
        .arg(number(kTile.top()), number(kTile.bottom()), kTop.name(), kBottom.name(),
             number(kTile.width()), number(kTileRadius),
             g.fillRule() == Qt::WindingFill ? QStringLiteral("nonzero")
                                             : QStringLiteral("evenodd"),
             svgPath(g));
}

QIcon AppIcon::icon() {
    QIcon themed = QIcon::fromTheme(QStringLiteral("vellumkite"));
    if (!themed.isNull())
        return themed;
    QIcon drawn;
    for (const int size : kSizes)
        drawn.addPixmap(QPixmap::fromImage(image(size)));
    return drawn;
}

} // namespace vellumkite
