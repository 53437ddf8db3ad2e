#include "Chart.hpp"

#include "Theme.hpp"

#include <QPainter>

namespace vellumkite {

Chart::Chart(QSize hint, QSize least, QSizePolicy::Policy vertical, QWidget* parent)
    : QWidget(parent), hint_(hint), least_(least) {
    setSizePolicy(QSizePolicy::Expanding, vertical);
}

QSize Chart::sizeHint() const {
    return {Theme::scaledWidth(hint_.width()), Theme::scaledWidth(hint_.height())};
}

QSize Chart::minimumSizeHint() const {
    return {Theme::scaledWidth(least_.width()), Theme::scaledWidth(least_.height())};
}

void Chart::paintScaleValue(QPainter& painter, const QRectF& plot, qreal y, const QString& text) {
    const qreal height = painter.fontMetrics().height();
    painter.drawText(QRectF(0, y - height / 2, plot.left() - kLabelGap, height),
                     Qt::AlignRight | Qt::AlignVCenter, text);
}

void Chart::paintBaseLine(QPainter& painter, const QRectF& plot, const QPalette& palette) {
    painter.setPen(QPen(Theme::tertiary(palette), 1));
    painter.drawLine(QPointF(plot.left(), plot.bottom() + 0.5),
                     QPointF(plot.right(), plot.bottom() + 0.5));
}

} // namespace vellumkite
