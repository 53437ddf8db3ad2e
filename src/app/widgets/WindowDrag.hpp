#pragma once

#include <optional>
#include <QObject>
#include <QPointF>

class QMouseEvent;
class QWidget;

namespace vellumkite {

// Drags a widget's window by any spot of the widget that does not take the press itself (a child
// that ignores a press passes it on). The window system moves the window where it can; elsewhere
// the window follows the mouse by hand until the button is let go.
class WindowDrag : public QObject {
    Q_OBJECT

public:
    // Watches the widget's mouse events; parented to it.
    explicit WindowDrag(QWidget* widget);

signals:
    // A drag moved by hand has ended. One the window system ran is not reported here: the
    // window only sees itself move.
    void finished();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool press(QMouseEvent* event);
    bool move(QMouseEvent* event);
    void release();

    QWidget* widget_;
    std::optional<QPointF> offset_; // from the window's corner to the mouse, while moving by hand
};

} // namespace vellumkite
