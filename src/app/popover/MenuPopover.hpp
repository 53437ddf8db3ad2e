#pragma once

#include "NextTurn.hpp"

#include <QWidget>

class QScrollArea;

namespace vellumkite {

class AppModel;
class PopoverChat;
class PopoverLimits;
class PopoverLive;
class PopoverSettings;
class PopoverShareList;
class TipCard;

// The main screen, opened from the tray: the limit readings, the current chat, the tip, the live
// rate, today's busiest chats and tool eaters, and the settings. It reads the model's published
// fields and writes only showBox, boxSize and launchAtLogin. Every part exists for the widget's
// whole life and is shown, hidden or refilled from the model, so hovering, focus and open menus
// survive the refreshes every few seconds.
//
// Its width follows the font; its height is the content's, up to a limit the window sets from
// the screen. When the sections do not fit they scroll, and the settings and the footer stay in
// view under them.
class MenuPopover : public QWidget {
    Q_OBJECT

public:
    // The width at the font the layout was drawn for.
    static constexpr int kWidth = 320;
    static constexpr int kPadding = 16;
    static constexpr int kSpacing = 14;
    static constexpr int kSectionSpacing = 6;
    // Below this share of the day, the chats the top list leaves out get no row.
    static constexpr double kLeastRest = 0.005;

    explicit MenuPopover(AppModel& model, QWidget* parent = nullptr);

    // No limit (0) until the window says where it opens.
    void setHeightLimit(int height);
    int heightLimit() const { return heightLimit_; }
    // The height without any limit.
    int naturalHeight() const;
    // Whether the sections are cut and scroll.
    bool scrolls() const;
    QScrollArea* scrollArea() const { return scroll_; }

    QSize sizeHint() const override;

    // Shows the model's fields now. Model changes call it on the next turn of the event loop,
    // once per burst of changes.
    void sync();

signals:
    // After every sync, so that a host can follow a change of height.
    void synced();
    // The History button was clicked (the model has been asked to open the window).
    void historyClicked();

private:
    void scheduleSync();
    void syncLists();
    int contentWidth() const;

    AppModel& model_;
    NextTurn sync_{this, [this] { sync(); }};
    int heightLimit_ = 0;

    QScrollArea* scroll_;
    QWidget* sections_;
    QWidget* bottom_;

    PopoverLimits* limits_;
    PopoverChat* chat_;
    TipCard* tip_;
    PopoverLive* live_;
    PopoverShareList* top_;
    PopoverShareList* tools_;
    PopoverSettings* settings_;
};

} // namespace vellumkite
