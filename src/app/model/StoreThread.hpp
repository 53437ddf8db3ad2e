#pragma once

#include "Environment.hpp"
#include "FailureNote.hpp"
#include "HistoryKeeper.hpp"
#include "HistoryOverview.hpp"
#include "Limits.hpp"
#include "MachineScope.hpp"
#include "Snapshot.hpp"
#include "SyncKeeper.hpp"
#include "Time.hpp"
#include "TimeOfDay.hpp"

#include <filesystem>
#include <functional>
#include <optional>
#include <QThread>

class QObject;

namespace vellumkite {

class WritablePreferences;

// The usage store on its own serial thread ("vellumkite.store"): every pass and every history
// read runs there, one at a time, in the order asked. Answers come back on the asker's thread;
// an asker that is gone by then gets nothing.
class StoreThread {
public:
    struct Inputs {
        const WritablePreferences* preferences = nullptr; // required; read on the store thread
        Clock clock = systemClock();
        std::filesystem::path logRoot;      // empty: the assistant's log folders
        std::filesystem::path limitsFile;   // empty: Limits::file()
        std::filesystem::path historyFile;  // empty: HistoryDatabase::defaultFile()
        TimeOfDayFormatter timeOfDay;       // empty: the locale's, from the pass's environment
        std::filesystem::path identityFile; // empty: MachineIdentity::defaultFile()
    };

    struct Pass {
        Snapshot snapshot;
        HistoryKeeper::Status history;
        bool read = false; // some log, or another machine's file, had something new
        SyncKeeper::Status sync;
    };

    explicit StoreThread(Inputs inputs);
    // Work still queued is dropped; a pass already running finishes first. Then this machine's
    // history is published to the sync folder if it has anything new.
    ~StoreThread();
    StoreThread(const StoreThread&) = delete;
    StoreThread& operator=(const StoreThread&) = delete;

    // One refresh pass with the environment read by the caller. A pass that throws (out of
    // memory or the like) answers nothing; the first of a run of such failures is logged.
    void pass(Environment environment, QObject* context, std::function<void(Pass)> done);

    // The History window's figures; nothing when the history could not answer.
    void overview(Instant now, std::optional<Limits::Window> weekly, TimeOfDayFormatter dayAndTime,
                  MachineScope scope, QObject* context,
                  std::function<void(std::optional<HistoryOverview>)> done);

private:
    struct Worker;
    // Runs `work` on the store thread, unless the thread is going away, and hands its answer to
    // `done` on the context's thread. A throw is noted in `note`; `failed` is the answer then
    // (none at all when it is empty).
    template <typename Answer, typename Work>
    void ask(QObject* context, FailureNote Worker::*note, std::optional<Answer> failed, Work work,
             std::function<void(Answer)> done);

    QThread thread_;
    Worker* worker_; // deleted on its own thread when that thread finishes
};

} // namespace vellumkite
