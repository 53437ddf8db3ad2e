#include "MenuButton.hpp"

#include "Theme.hpp"

#include <cmath>
#include <QFontMetricsF>
#include <QPainter>

namespace vellumkite {

QSize MenuButton::sizeHint() const {
    const QFontMetricsF m(font());
    return {static_cast<int>(std::ceil(m.horizontalAdvance(text()) + kChevronGap + chevronWidth() +
                                       2 * kPadding)),
            static_cast<int>(std::ceil(m.height())) + 4};
}

qreal MenuButton::chevronWidth() const {
    return std::round(QFontMetricsF(font()).xHeight() * 1.1);
}

void MenuButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor ink = Theme::primary(palette());
    if (underMouse() || isDown()) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(Theme::withOpacity(ink, isDown() ? 0.16 : 0.08));
        painter.drawRoundedRect(QRectF(rect()), 5, 5);
    }
    const QFontMetricsF m(font());
    const qreal baseline = std::round((height() - m.height()) / 2 + m.ascent());
    painter.setFont(font());
    painter.setPen(ink);
    painter.drawText(QPointF(kPadding, baseline), text());
    // The chevron sits on the x-height's middle, like the one of a native pop-up button.
    const qreal w = chevronWidth();
    const qreal x = kPadding + m.horizontalAdvance(text()) + kChevronGap;
    const qreal mid = baseline - m.xHeight() / 2;
    painter.setPen(
        QPen(Theme::secondary(palette()), 1.3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPolyline(
        QPolygonF{{x, mid - w / 4}, {x + w / 2, mid + w / 4}, {x + w, mid - w / 4}});
}

} // namespace vellumkite
