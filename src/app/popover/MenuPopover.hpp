#pragma once

#include "NextTurn.hpp"

#include <QList>
#include <QWidget>

class QCheckBox;
class QToolButton;
class QVBoxLayout;

namespace vellumkite {

class AppModel;
class Dot;
class LimitBar;
class SegmentedControl;
class Sparkline;
class TextLine;
class TipCard;

// The main screen, opened from the tray: the limit readings, the current chat, the tip, the live
// rate, today's busiest chats and tool eaters, and the settings. It reads the model's published
// fields and writes only showBox, boxSize and launchAtLogin. Every part exists for the widget's
// whole life and is shown, hidden or refilled from the model, so hovering, focus and open menus
// survive the refreshes every few seconds.
class MenuPopover : public QWidget {
    Q_OBJECT

public:
    static constexpr int kWidth = 320;
    static constexpr int kPadding = 16;
    static constexpr int kSpacing = 14;
    static constexpr int kSectionSpacing = 6;
    static constexpr int kShareColumn = 38;
    static constexpr int kPickerWidth = 170;
    static constexpr int kSparklineHeight = 32;

    explicit MenuPopover(AppModel& model, QWidget* parent = nullptr);

    // Shows the model's fields now. Model changes call it on the next turn of the event loop,
    // once per burst of changes.
    void sync();

signals:
    // After every sync, so that a host can follow a change of height.
    void synced();
    // The History button was clicked (the model has been asked to open the window).
    void historyClicked();

private:
    struct ChatLine {
        QWidget* row;
        TextLine* share;
        TextLine* name;
        TextLine* detail;
    };

    void scheduleSync();
    ChatLine addShareRow(QVBoxLayout* section, const QString& objectName);
    void syncLimits();
    void syncChat();
    void syncLive();
    void syncTop();
    void syncTools();
    void syncSettings();

    AppModel& model_;
    NextTurn sync_{this, [this] { sync(); }};

    LimitBar* fiveHour_;
    LimitBar* weekly_;
    QWidget* limitsMessage_;

    QWidget* chatRow_;
    Dot* chatDot_;
    TextLine* chatSize_;
    TextLine* chatProject_;
    TextLine* chatMessage_;
    TipCard* tip_;

    TextLine* rate_;
    Sparkline* sparkline_;

    TextLine* topEmpty_;
    QList<ChatLine> topRows_;
    TextLine* toolEmpty_;
    QList<ChatLine> toolRows_;
    TextLine* toolNote_;

    QCheckBox* showBox_;
    SegmentedControl* sizePicker_;
    QCheckBox* login_;
    QToolButton* quit_;
};

} // namespace vellumkite
