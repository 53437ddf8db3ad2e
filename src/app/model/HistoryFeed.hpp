#pragma once

#include "HistoryKeeper.hpp"
#include "HistoryOverview.hpp"
#include "Limits.hpp"
#include "MachineScope.hpp"
#include "Time.hpp"
#include "TimeOfDay.hpp"

#include <functional>
#include <optional>
#include <QElapsedTimer>
#include <QObject>

class QTimer;

namespace vellumkite {

class StoreThread;

// The History window's figures, read from the store thread only while the window is open and
// then after each pass that read new lines, at most once a second.
class HistoryFeed : public QObject {
    Q_OBJECT

public:
    // What a read asks with, taken when it is sent.
    struct Question {
        Instant now;
        std::optional<Limits::Window> weekly;
        TimeOfDayFormatter dayAndTime;
        MachineScope scope;
    };

    // Without a store (the demo) it only shows what show() gives it.
    HistoryFeed(StoreThread* store, std::function<Question()> question, QObject* parent = nullptr);

    // The window opened (read now) or closed (read nothing more).
    void watch(bool watching);
    // The question changed (another scope): read again.
    void askAgain();
    // A pass finished with this status; read says whether it read new lines.
    void afterPass(const HistoryKeeper::Status& status, bool read);
    // Fixed figures, as the demo's.
    void show(std::optional<HistoryOverview> overview, HistoryKeeper::Status status);

    const std::optional<HistoryOverview>& overview() const { return overview_; }
    const HistoryKeeper::Status& status() const { return status_; }

signals:
    // A new answer, or a new status.
    void changed();

private:
    void read();

    StoreThread* store_;
    std::function<Question()> question_;
    std::optional<HistoryOverview> overview_;
    HistoryKeeper::Status status_;
    bool watching_ = false;
    bool due_ = false;     // a pass read something since the history was last read
    bool reading_ = false; // a request is on its way to the store thread
    QElapsedTimer sinceRead_;
    QTimer* timer_ = nullptr; // holds a read back to once a second
};

} // namespace vellumkite
