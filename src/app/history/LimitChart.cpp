#include "LimitChart.hpp"

#include "Theme.hpp"

#include <cmath>
#include <QFontMetricsF>
#include <QPainter>

namespace vellumkite {

LimitChart::LimitChart(QWidget* parent)
    : Chart({290, 120}, {160, 120}, QSizePolicy::Fixed, parent) {}

void LimitChart::setOverview(const LimitOverview& overview) {
    overview_ = overview;
    update();
    announce(this);
}

QRectF LimitChart::plot(const QString& topValue) const {
    const QFontMetricsF metrics(Theme::caption());
    const qreal scale = std::ceil(metrics.horizontalAdvance(topValue)) + kLabelGap;
    return QRectF(rect()).adjusted(scale, metrics.height() / 2, 0, -(metrics.height() + 4));
}

void LimitChart::paintFrame(QPainter& painter, const QRectF& plot, const QString& topValue,
                            qreal full) const {
    const QPalette pal = palette();
    painter.setFont(Theme::caption());
    painter.setPen(Theme::secondary(pal));
    paintScaleValue(painter, plot, plot.top(), topValue);
    painter.setPen(QPen(Theme::tertiary(pal), 1, Qt::DotLine));
    painter.drawLine(QPointF(plot.left(), full), QPointF(plot.right(), full));
    paintBaseLine(painter, plot, pal);
}

} // namespace vellumkite
