#include "StoreThread.hpp"

#include "Fd.hpp"
#include "HistoryDatabase.hpp"
#include "LimitJournal.hpp"
#include "LocaleTimeOfDay.hpp"
#include "LogFolders.hpp"
#include "PreferenceKeys.hpp"
#include "PriceLoader.hpp"
#include "QtText.hpp"
#include "RefreshPass.hpp"
#include "UsageStore.hpp"
#include "WritablePreferences.hpp"

#include <atomic>
#include <exception>
#include <QMetaObject>
#include <unistd.h>

namespace vellumkite {

// Lives on the store thread and owns the store; everything it does runs there.
struct StoreThread::Worker : QObject {
    explicit Worker(const Inputs& in)
        : logs(in.logRoot.empty() ? LogFolders::find().folders : std::vector{in.logRoot}),
          store(RefreshPass::kLookbackSeconds, in.clock), preferences(*in.preferences),
          clock(in.clock), limitsFile(in.limitsFile.empty() ? Limits::file() : in.limitsFile),
          timeOfDay(in.timeOfDay),
          keeper(
              in.historyFile.empty() ? HistoryDatabase::defaultFile() : in.historyFile,
              LimitJournal::beside(limitsFile), RefreshPass::kLookbackSeconds,
              [](const std::string& line) {
                  (void)Fd::writeAll(STDERR_FILENO, "vellumkite: " + line + "\n");
              },
              in.clock),
          sync(
              in.identityFile.empty() ? MachineIdentity::defaultFile() : in.identityFile,
              [](const std::string& line) {
                  (void)Fd::writeAll(STDERR_FILENO, "vellumkite: " + line + "\n");
              },
              in.clock) {}

    std::filesystem::path syncFolder() const {
        return utf8(preferences.get(PreferenceKeys::syncFolder));
    }

    Pass pass(Environment env) {
        if (!attached) {
            // The database is opened here, on the store thread, where it is used.
            keeper.open();
            attached = true;
        }
        RefreshPass::Inputs in;
        in.limitsFile = limitsFile;
        in.preferences = &preferences;
        in.timeOfDay = timeOfDay ? timeOfDay : LocaleTimeOfDay::formatter(env);
        in.environment = std::move(env);
        in.clock = clock;
        Pass out;
        // One read of the logs for both: the history first, so the store may take each line
        // over.
        LogPass::Reader* history = keeper.reader();
        const auto read =
            history ? logs.run({history, &store.reader()}) : logs.run({&store.reader()});
        if (history)
            keeper.afterPass();
        in.limitRecord = keeper.limitRecord(prices.current());
        out.snapshot = RefreshPass::snapshot(store, in);
        out.history = keeper.status();
        out.read = read.files > 0;
        if (const SqliteDatabase* db = keeper.database())
            out.read = sync.afterPass(*db, syncFolder(), out.read) || out.read;
        out.sync = sync.status();
        return out;
    }

    std::optional<HistoryOverview> overview(Instant now, std::optional<Limits::Window> weekly,
                                            const TimeOfDayFormatter& dayAndTime,
                                            MachineScope scope) {
        return keeper.overview(now, weekly, dayAndTime, prices.current(), scope);
    }

    void finish() {
        if (const SqliteDatabase* db = keeper.database())
            sync.finish(*db, syncFolder());
    }

    LogPass logs;
    UsageStore store;
    const WritablePreferences& preferences;
    Clock clock;
    std::filesystem::path limitsFile;
    TimeOfDayFormatter timeOfDay;
    HistoryKeeper keeper;
    SyncKeeper sync;
    bool attached = false;
    PriceLoader prices{[](const std::string& line) {
        (void)Fd::writeAll(STDERR_FILENO, "vellumkite: " + line + "\n");
    }};
    std::atomic<bool> cancelled{false};
    FailureNote passFailure{QStringLiteral("finish a refresh pass")};
    FailureNote historyFailure{QStringLiteral("read the history")};
};

StoreThread::StoreThread(Inputs inputs) : worker_(new Worker(inputs)) {
    worker_->moveToThread(&thread_);
    QObject::connect(&thread_, &QThread::finished, worker_, &QObject::deleteLater);
    thread_.setObjectName(QStringLiteral("vellumkite.store"));
    thread_.start();
}

StoreThread::~StoreThread() {
    // Work still queued sees the flag and does nothing; an answer already posted goes with its
    // context. Then, last on the store thread, what is new goes out to the other machines.
    worker_->cancelled = true;
    QMetaObject::invokeMethod(
        worker_,
        [worker = worker_] {
            try {
                worker->finish();
            } catch (const std::exception&) {
                // Published at the next start instead.
            }
        },
        Qt::BlockingQueuedConnection);
    thread_.quit();
    thread_.wait();
}

void StoreThread::pass(Environment environment, QObject* context, std::function<void(Pass)> done) {
    QMetaObject::invokeMethod(
        worker_,
        [worker = worker_, env = std::move(environment), context,
         done = std::move(done)]() mutable {
            if (worker->cancelled)
                return;
            Pass pass;
            try {
                pass = worker->pass(std::move(env));
                worker->passFailure.record(true);
            } catch (const std::exception& e) {
                // This pass publishes nothing; the next one reads on from where the store stands.
                worker->passFailure.record(false, QString::fromLocal8Bit(e.what()));
                return;
            }
            // Naming the context drops the call if the context is gone by then.
            QMetaObject::invokeMethod(
                context,
                [pass = std::move(pass), done = std::move(done)]() mutable {
                    done(std::move(pass));
                },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

void StoreThread::overview(Instant now, std::optional<Limits::Window> weekly,
                           TimeOfDayFormatter dayAndTime, MachineScope scope, QObject* context,
                           std::function<void(std::optional<HistoryOverview>)> done) {
    QMetaObject::invokeMethod(
        worker_,
        [worker = worker_, now, weekly, dayAndTime = std::move(dayAndTime), scope, context,
         done = std::move(done)] {
            if (worker->cancelled)
                return;
            std::optional<HistoryOverview> overview;
            try {
                overview = worker->overview(now, weekly, dayAndTime, scope);
                worker->historyFailure.record(true);
            } catch (const std::exception& e) {
                // Answered as a history that could not answer, so the window says so.
                worker->historyFailure.record(false, QString::fromLocal8Bit(e.what()));
            }
            QMetaObject::invokeMethod(
                context,
                [overview = std::move(overview), done = std::move(done)]() mutable {
                    done(std::move(overview));
                },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

} // namespace vellumkite
