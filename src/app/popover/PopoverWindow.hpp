#pragma once

#include <QElapsedTimer>
#include <QRect>
#include <QWidget>

namespace vellumkite {

class AppModel;
class MenuPopover;

// Hosts the popover's content on a rounded, nearly opaque background (square and opaque where no
// compositor runs). As a popup it opens next
// to the tray icon (or the mouse pointer when the tray does not say where its icon is, or centred
// near the top of the screen when there is no icon), stays fully on screen and closes on a click
// outside or Escape. As a panel (the demo) it is a
// frameless, always-on-top window that never takes the focus and stays until the program ends.
class PopoverWindow : public QWidget {
    Q_OBJECT

public:
    enum class Kind { popup, panel };

    static constexpr qreal kCornerRadius = 12;
    static constexpr int kGap = 4; // between the tray icon and the popup

    PopoverWindow(AppModel& model, Kind kind);
    ~PopoverWindow() override;

    Kind kind() const { return kind_; }
    MenuPopover* content() const { return content_; }

    // Opens the popup by the anchor (the tray icon's global geometry; an empty rectangle means
    // the mouse pointer).
    void popup(const QRect& anchor);
    // Where a popup of the given size goes: centred under the anchor, or above it when the
    // anchor is in the lower half of the screen, then pushed inside the available area.
    static QPoint popupTopLeft(const QSize& size, const QRect& anchor, const QRect& available);
    // The height a popup by the anchor may take: the room on its side of the anchor, or the
    // whole area's height when that room is too short for anything useful.
    static int popupHeightLimit(const QRect& anchor, const QRect& available);

    // Opens the popup centred near the top of the screen under the mouse pointer: for when no
    // tray icon is there to open it by.
    void popupNearTop();
    // Centred, a tenth of the area's height below its top, pushed inside the area.
    static QPoint nearTopLeft(const QSize& size, const QRect& available);

    // Opens the panel with its top-left corner 80 right of and 20 below the available area's
    // (less where the screen is too small for that).
    void showPanel();
    static QPoint panelTopLeft(const QRect& available);

    // True for a short while after the popup closed, so a click on the tray icon that closed it
    // does not open it again at once.
    bool closedJustNow() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void refit();
    void open(const QRect& anchor, const QRect& screenArea);
    void place();

    Kind kind_;
    MenuPopover* content_;
    QRect anchor_; // empty: near the top of screenArea_
    QRect screenArea_;
    QElapsedTimer closed_;
};

} // namespace vellumkite
