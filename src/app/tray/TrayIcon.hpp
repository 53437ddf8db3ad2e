#pragma once

#include "NextTurn.hpp"
#include "Thresholds.hpp"
#include "TrayPicture.hpp"

#include <memory>
#include <QColor>
#include <QIcon>
#include <QImage>
#include <QObject>
#include <QString>
#include <QSystemTrayIcon>

class QAction;
class QMenu;

namespace vellumkite {

class AppModel;
class PopoverWindow;

// The tray item. A tray icon cannot carry text beside it, so the model's short title is drawn
// into the icon as far as it reads at the icon's size (TrayPicture), in the warning colours when
// it calls for care, and repeated in the tooltip. A click opens the popover; the context menu
// serves trays that only show menus.
class TrayIcon : public QObject {
    Q_OBJECT

public:
    // panel: the gauge and the title as they read at each size, and the context menu.
    // menuBar (macOS): the gauge alone as a template image that the menu bar tints for its
    // light or dark look, the title in the tooltip only (the item there is square), and no
    // context menu, since a menu-bar item with one opens it on every click, over the popover;
    // the popover holds every setting and Quit anyway.
    enum class Style { panel, menuBar };
    // menuBar on macOS, panel elsewhere.
    static Style platformStyle();

    TrayIcon(AppModel& model, Style style, QObject* parent = nullptr);
    ~TrayIcon() override;

    // The icon at the usual tray sizes and pixel ratios.
    static QIcon icon(const QString& title, const TrayPicture::Ink& ink);
    // The menu-bar icon: the gauge in black on transparent, marked as a mask.
    static QIcon menuBarIcon();
    // "Vellumkite: 34%".
    static QString toolTip(const QString& title);
    // What to say on standard error when there is no tray to show the icon in.
    static QString noTrayMessage(bool boxShown);

    // Shows the icon (it also appears by itself should a tray start later). Without any system
    // tray, says once on standard error how to reach the program.
    void show();

    Style style() const { return style_; }
    QSystemTrayIcon* trayIcon() const { return tray_.get(); }
    // Both null in the menu-bar style.
    QMenu* menu() const { return menu_.get(); }
    QAction* boxAction() const { return boxAction_; }
    // Null until the popover is first opened.
    PopoverWindow* popover() const { return popover_.get(); }

    // Opens the popover by the icon, or closes it when it is open.
    void togglePopover();
    // Opens the popover by the icon, or by the mouse pointer when the tray does not say where
    // the icon is: for a click on the icon or its menu.
    void openPopover();
    // For requests from elsewhere (a later start of the program, the floating box's menu): by
    // the icon when a tray shows it and says where, else centred near the top of the screen.
    void showPopover();
    // Whether a system tray is there to show the icon now.
    static bool trayAvailable();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildMenu();
    void scheduleSync();
    void sync();

    AppModel& model_;
    Style style_;
    std::unique_ptr<QMenu> menu_;
    std::unique_ptr<QSystemTrayIcon> tray_;
    std::unique_ptr<PopoverWindow> popover_;
    QAction* boxAction_ = nullptr;
    QString shownTitle_;
    Level shownLevel_ = Level::info;
    NextTurn sync_{this, [this] { sync(); }};
    bool shownTitleValid_ = false;
};

} // namespace vellumkite
