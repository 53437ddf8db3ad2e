#pragma once

#include "NextTurn.hpp"

#include <functional>
#include <memory>
#include <QList>
#include <QWidget>

class QMenu;
class QToolButton;
class QVBoxLayout;

namespace vellumkite {

class AppModel;
class BoxBusiest;
class BoxChatRow;
class BoxHeader;
class BoxLimitRow;
class BoxLiveBlock;
class TextLine;
class TipCard;

// The floating box's content: a glanceable dashboard in three sizes. It reads the model's
// fields and writes only the box settings. Like the popover, its parts live as long as it
// does and are refilled on every model change. Pressing on any spot that is not a control
// drags its window.
class FloatingBoxView : public QWidget {
    Q_OBJECT

public:
    static constexpr qreal kCornerRadius = 14;

    // Where no tray shows the icon, the box's menu is the way in to the rest of the program: it
    // then leads with "Open Vellumkite" and ends with "Quit". needed is asked each time the menu
    // is made, so a tray that comes or goes later is followed.
    struct TrayFallback {
        std::function<bool()> needed;
        std::function<void()> open;
    };

    explicit FloatingBoxView(AppModel& model, QWidget* parent = nullptr);
    ~FloatingBoxView() override;

    // Shows the model's fields now; model changes call it on the next turn, once per burst.
    void sync();

    // The content's natural size at the current size class: its fixed width and the height its
    // rows need at that width.
    QSize fittingSize() const;

    // The menu of a secondary click: the sizes, a separator and "Hide box", with the fallback's
    // items around them when it is needed. The caller owns it.
    std::unique_ptr<QMenu> makeContextMenu();
    void setTrayFallback(TrayFallback fallback) { fallback_ = std::move(fallback); }
    // The header's size menu button.
    QToolButton* sizeButton() const;
    QToolButton* closeButton() const;

signals:
    // After every sync, so that the window can refit.
    void synced();
    // When a drag that moved the window by hand has ended.
    void dragFinished();

protected:
    void paintEvent(QPaintEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void scheduleSync();

    AppModel& model_;
    TrayFallback fallback_;
    NextTurn sync_{this, [this] { sync(); }};

    QVBoxLayout* layout_;
    BoxHeader* header_;
    QList<BoxLimitRow*> limitRows_; // 5-hour, weekly
    TextLine* noReading_;
    BoxChatRow* chatRow_;
    BoxLiveBlock* live_;
    TipCard* tip_;
    BoxBusiest* busiest_;
};

} // namespace vellumkite
