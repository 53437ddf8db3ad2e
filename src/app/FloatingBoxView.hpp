#pragma once

#include "BoxSize.hpp"
#include "NextTurn.hpp"

#include <functional>
#include <memory>
#include <optional>
#include <QList>
#include <QPointF>
#include <QWidget>

class QMenu;
class QToolButton;
class QVBoxLayout;

namespace vellumkite {

class AppModel;
class Dot;
class Sparkline;
class SymbolView;
class TextLine;
class TipCard;
class UsageBar;

// The floating box's content: a glanceable dashboard in three sizes. It reads the model's
// fields and writes only boxSize and showBox. Like the popover, its parts live as long as it
// does and are refilled on every model change. Pressing on any spot that is not a control
// drags its window.
class FloatingBoxView : public QWidget {
    Q_OBJECT

public:
    static constexpr qreal kCornerRadius = 14;
    static constexpr int kHeaderSpacing = 6;
    static constexpr int kShareColumn = 40;
    static constexpr int kBusiestChats = 3;

    // Everything that depends on the size.
    struct Style {
        int width;
        int padding;
        int spacing;
        qreal body;  // points of the body font
        qreal small; // points of the small font
        int gauge;
        bool resetLines;
        bool weeklyAlways; // else only when there is no 5-hour window
        bool noReadingMessage;
        bool live;
        int sparkline;
        bool tip;
        bool compactTip;
        bool busiest;
    };
    static Style style(BoxSize size);

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
    void setTrayFallback(TrayFallback fallback) { m_fallback = std::move(fallback); }
    // The header's size menu button.
    QToolButton* sizeButton() const { return m_sizeButton; }
    QToolButton* closeButton() const { return m_closeButton; }

signals:
    // After every sync, so that the window can refit.
    void synced();
    // When a drag that the view moved the window for by hand has ended.
    void dragFinished();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    struct LimitRow {
        QWidget* row;
        TextLine* title;
        TextLine* value;
        UsageBar* bar;
        TextLine* resets;
    };
    struct BusyRow {
        QWidget* row;
        TextLine* share;
        TextLine* name;
        TextLine* ago;
    };

    void scheduleSync();
    LimitRow makeLimitRow(const QString& objectName, const QString& title);
    void fillSizeItems(QMenu* menu);
    void syncLimits(const Style& s);
    void syncChat(const Style& s);
    void syncLive(const Style& s);
    void syncBusiest(const Style& s);

    AppModel& m_model;
    TrayFallback m_fallback;
    NextTurn m_sync{this, [this] { sync(); }};
    // Set while the window follows the mouse by hand, where the window system cannot move it.
    std::optional<QPointF> m_dragOffset;

    QVBoxLayout* m_layout;
    QWidget* m_header;
    SymbolView* m_grip;
    TextLine* m_title;
    QToolButton* m_sizeButton;
    QMenu* m_sizeMenu;
    QToolButton* m_closeButton;

    QList<LimitRow> m_limitRows; // 5-hour, weekly
    TextLine* m_noReading;

    QWidget* m_chatRow;
    Dot* m_chatDot;
    TextLine* m_chatSize;
    TextLine* m_chatProject;
    TextLine* m_chatMessage;

    QWidget* m_live;
    TextLine* m_liveLabel;
    TextLine* m_liveRate;
    Sparkline* m_sparkline;
    TipCard* m_tip;

    QWidget* m_busiest;
    TextLine* m_busiestTitle;
    QList<BusyRow> m_busyRows;
};

} // namespace vellumkite
