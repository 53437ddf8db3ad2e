#include "WindowDrag.hpp"

#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

namespace vellumkite {

WindowDrag::WindowDrag(QWidget* widget) : QObject(widget), widget_(widget) {
    widget->installEventFilter(this);
}

bool WindowDrag::eventFilter(QObject* watched, QEvent* event) {
    if (watched != widget_)
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        return press(static_cast<QMouseEvent*>(event));
    case QEvent::MouseMove:
        return move(static_cast<QMouseEvent*>(event));
    case QEvent::MouseButtonRelease:
        release();
        return false;
    default:
        return false;
    }
}

bool WindowDrag::press(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return false;
    QWidget* top = widget_->window();
    if (QWindow* handle = top->windowHandle(); handle && handle->startSystemMove())
        return true;
    offset_ = event->globalPosition() - QPointF(top->pos());
    return true;
}

bool WindowDrag::move(QMouseEvent* event) {
    if (!offset_ || !(event->buttons() & Qt::LeftButton))
        return false;
    widget_->window()->move((event->globalPosition() - *offset_).toPoint());
    return true;
}

void WindowDrag::release() {
    if (!offset_)
        return;
    offset_.reset();
    emit finished();
}

} // namespace vellumkite
