#pragma once

#include "BoxSize.hpp"
#include "ChatSummary.hpp"
#include "Environment.hpp"
#include "HistoryKeeper.hpp"
#include "HistoryOverview.hpp"
#include "Limits.hpp"
#include "Snapshot.hpp"
#include "SyncKeeper.hpp"
#include "Thresholds.hpp"
#include "Time.hpp"
#include "TimeOfDay.hpp"
#include "Tip.hpp"
#include "ToolEater.hpp"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <QObject>
#include <QPointF>
#include <QRect>
#include <QString>
#include <vector>

namespace vellumkite {

class LoginItem;
class NotificationCenter;
class WritablePreferences;

// The application's spine: owns the usage store on its serial thread (StoreThread), runs one
// refresh pass at start and every 3 seconds, and publishes each pass's figures on the main thread
// into the fields below, which every view reads. The History window's figures come through the
// HistoryFeed, the window's place through HistoryGeometry. Views never
// touch the store, the files or the coach; they change only the box settings and launchAtLogin,
// and only through the model. The demo's figures take the same way as a real pass's.
//
// A publish writes every field, then emits changed() once: no view ever sees half a pass.
class AppModel : public QObject {
    Q_OBJECT

public:
    // What the model needs from outside; tests pass temporary folders and a driven clock.
    // The preferences, the clock and the time-of-day formatter are also used on the store thread,
    // so they must be safe to call from there; the environment is read on the main thread.
    struct Services {
        WritablePreferences* preferences = nullptr;  // required; outlives the model
        NotificationCenter* notifications = nullptr; // none: the notifier does nothing
        LoginItem* loginItem = nullptr;              // none: launch at login reads off
        Clock clock = systemClock();
        std::function<Environment()> environment = &Environment::process;
        std::filesystem::path logRoot;     // empty: the assistant's log folders
        std::filesystem::path limitsFile;  // empty: Limits::file()
        std::filesystem::path historyFile; // empty: HistoryDatabase::defaultFile()
        TimeOfDayFormatter timeOfDay;      // empty: the system locale's short time format
        int intervalMs = 3000;             // the refresh timer
    };

    // Starts at once: reads the box settings, then either publishes the demo data
    // (VELLUMKITE_DEMO in the environment; VELLUMKITE_DEMO_SIZE also sets the box size) or runs
    // the first pass and starts the timer. updateBox() (and in demo mode the demo panel request)
    // is scheduled for after the constructor returns.
    explicit AppModel(Services services, QObject* parent = nullptr);
    ~AppModel() override;

    // --- Published fields (main thread only).
    bool loaded() const;
    const std::optional<Limits>& limits() const;
    const std::optional<ChatSummary>& currentChat() const;
    const std::vector<ChatSummary>& topChats() const; // at most 5
    const std::vector<ToolEater>& toolEaters() const; // at most 4
    double todayWeight() const;
    double burnPerMin() const;
    const std::vector<double>& sparkline() const; // empty before the first pass, then 30
    const std::optional<Tip>& tip() const;
    // From the kept readings: the current chat's next message in percent of the 5-hour window
    // once that is known, and each window's projection.
    const std::optional<double>& percentPerMessage() const;
    const std::vector<LimitProjection>& projections() const;

    // The box settings. showBox and boxSize: each write persists, emits changed() and runs its
    // handler, also for an equal value.
    bool showBox() const;
    void setShowBox(bool show);
    BoxSize boxSize() const;
    void setBoxSize(BoxSize size);
    // Where the user last left the box, persisted when it differs; no view shows it, so no
    // changed().
    std::optional<QPointF> boxTopLeft() const;
    void setBoxTopLeft(const QPointF& topLeft);

    // The History window's last place and size, persisted; none before it was first closed.
    std::optional<QRect> historyGeometry() const;
    void setHistoryGeometry(const QRect& geometry);

    // --- The history (main thread only).
    // Asks the views to open the History window (or raise the one that is open).
    void openHistory();
    // The History window is open: the history is read now and after each pass that read new
    // lines, at most once a second. While no window is open it is never read.
    void watchHistory(bool watching);
    // The last answer, and where the history stands; historyChanged() announces both.
    const std::optional<HistoryOverview>& history() const;
    const HistoryKeeper::Status& historyStatus() const;
    // Every machine's usage in the History window (the default), or this machine's alone.
    bool historyAllMachines() const;
    void setHistoryAllMachines(bool all);

    // --- Sync (main thread only): the folder shared with the user's other machines, as the
    // last pass found it, and the machines there.
    const SyncKeeper::Status& sync() const;
    // Shares the history through this folder from the next pass on; the reason when it cannot
    // be used (nothing changes then).
    QString useSyncFolder(const QString& folder);
    void stopSync();

    // Read from and written to the login-item service every time; a failure is logged once and
    // the next read shows the real state.
    bool launchAtLogin() const;
    void setLaunchAtLogin(bool enabled);

    // "…" before the first pass, then the 5-hour percentage, the current chat's size, or "–".
    QString menuTitle() const;
    // The chat-size level with the thresholds read afresh from the preferences and environment.
    Level chatLevel(std::int64_t chatSize) const;
    // The level of what menuTitle() shows: the 5-hour reading against the coach's warning and
    // alert thresholds, else the chat's size; info when it shows neither.
    Level titleLevel() const;
    // The model's clock, for ages and countdowns in the views.
    Instant now() const;
    // A time of day as the tips write it ("4:10 PM"), in the user's locale.
    std::string timeOfDay(Instant t) const;
    bool demoMode() const;

    // Schedules one refresh pass on the worker thread and returns at once. Passes run in order,
    // one at a time, never coalesced or skipped.
    void refresh();

    // Shows or hides the floating box according to showBox(). The floating box installs the
    // handler; until then this does nothing.
    void setBoxHandler(std::function<void()> handler);
    void updateBox();

    // Publishes DemoData (inside the constructor in demo mode; public for tests and
    // screenshots).
    void loadDemo();

    // Test-only: publishes a made-up pass's figures exactly as a real pass would, so that view
    // tests can show any state without logs on disk.
    void publishForTest(const Snapshot& snapshot) { publish(snapshot); }

signals:
    // Emitted after every publish and every change of a setting.
    void changed();
    // In demo mode, once after start: the views open the demo panel and report the windows.
    void demoPanelRequested();
    // After each publish step, for tests and tools.
    void published();
    // openHistory() was called.
    void historyRequested();
    // A new answer from the history, or a new status.
    void historyChanged();

private:
    // `changedElsewhere`: something shown beside the figures changed with them.
    void publish(const Snapshot& snapshot, bool changedElsewhere = false);
    // After a change of showBox or boxSize: says once when the change could not be saved.
    void boxSettingChanged(bool saved);
    struct State;
    std::unique_ptr<State> d_;
};

} // namespace vellumkite
