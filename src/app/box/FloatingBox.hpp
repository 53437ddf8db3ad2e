#pragma once

#include <optional>
#include <QList>
#include <QPoint>
#include <QPointF>
#include <QRectF>
#include <QTimer>
#include <QWidget>
#include <utility>

class QScreen;

namespace vellumkite {

class AppModel;
class FloatingBoxView;

// The always-on-top box: a frameless tool window (rounded where a compositor runs, square
// without) that never takes the focus, floats on every
// desktop where the window manager allows it, fits itself to its content after every model
// change and reopens where the user last left it: once the user has moved it (a drag ends, or
// moves made otherwise stop for a moment), its top-left corner is saved through the model.
class FloatingBox : public QWidget {
    Q_OBJECT

public:
    // Moves less than this apart belong to one drag.
    static constexpr int kSaveDelayMs = 400;

    // The model must outlive the box: a corner not yet saved is saved as the box goes.
    explicit FloatingBox(AppModel& model);
    ~FloatingBox() override;

    // Resizes and places the window for the content's current natural size: a shown box keeps
    // its top-left corner, a hidden one starts from the stored corner or near the top right of
    // the main screen; the result is kept on screen. Nothing happens when the size is unchanged.
    void fit();

    // Fits, then shows the window without activating it.
    void present();

    // Puts a shown box back inside the screens after they changed: a screen removed or its
    // available area shrunk (a panel added, the resolution lowered). Called on every such
    // change; nothing happens to a box that is wholly on a screen.
    void keepOnScreen();

    FloatingBoxView* view() const { return view_; }

protected:
    void moveEvent(QMoveEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void saveCorner();
    void stickToAllDesktops();
    void watchScreen(QScreen* screen);
    // The screens' available areas, in the window system's order, and the main one's index.
    static std::pair<QList<QRectF>, int> availableAreas();

    AppModel& model_;
    QTimer saveTimer_;
    FloatingBoxView* view_;
    bool placed_ = false; // false until the first fit gives the window a frame
    // From showing until the first paint: moves reported meanwhile are the window manager's.
    bool settling_ = false;
    QPoint corner_; // where the box was last put or moved to
};

} // namespace vellumkite
