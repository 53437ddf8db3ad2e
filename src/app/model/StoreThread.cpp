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

namespace {

// A line for the user, on the app's standard error.
void say(const std::string& line) {
    (void)Fd::writeAll(STDERR_FILENO, "vellumkite: " + line + "\n");
}

} // namespace

// Lives on the store thread and owns the store; everything it does runs there.
struct StoreThread::Worker : QObject {
    explicit Worker(const Inputs& in)
        : logs(in.logRoot.empty() ? LogFolders::find().folders : std::vector{in.logRoot}),
          store(RefreshPass::kLookbackSeconds, in.clock), preferences(*in.preferences),
          clock(in.clock), limitsFile(in.limitsFile.empty() ? Limits::file() : in.limitsFile),
          timeOfDay(in.timeOfDay),
          keeper(in.historyFile.empty() ? HistoryDatabase::defaultFile() : in.historyFile,
                 LimitJournal::beside(limitsFile), RefreshPass::kLookbackSeconds, say, in.clock),
          sync(in.identityFile.empty() ? MachineIdentity::defaultFile() : in.identityFile, say,
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
    PriceLoader prices{say};
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

template <typename Answer, typename Work>
void StoreThread::ask(QObject* context, FailureNote Worker::*note, std::optional<Answer> failed,
                      Work work, std::function<void(Answer)> done) {
    QMetaObject::invokeMethod(
        worker_,
        [worker = worker_, context, note, failed = std::move(failed), work = std::move(work),
         done = std::move(done)]() mutable {
            if (worker->cancelled)
                return;
            std::optional<Answer> answer;
            try {
                answer = work(*worker);
                (worker->*note).record(true);
            } catch (const std::exception& e) {
                (worker->*note).record(false, QString::fromLocal8Bit(e.what()));
                answer = std::move(failed);
            }
            if (!answer)
                return;
            // Naming the context drops the call if the context is gone by then.
            QMetaObject::invokeMethod(
                context,
                [answer = std::move(*answer), done = std::move(done)]() mutable {
                    done(std::move(answer));
                },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

void StoreThread::pass(Environment environment, QObject* context, std::function<void(Pass)> done) {
    // A pass that throws publishes nothing; the next one reads on from where the store stands.
    ask<Pass>(
        context, &Worker::passFailure, std::nullopt,
        [env = std::move(environment)](Worker& worker) mutable {
            return worker.pass(std::move(env));
        },
        std::move(done));
}

void StoreThread::overview(Instant now, std::optional<Limits::Window> weekly,
                           TimeOfDayFormatter dayAndTime, MachineScope scope, QObject* context,
                           std::function<void(std::optional<HistoryOverview>)> done) {
    // A history that throws answers as one that could not answer, so the window says so.
    ask<std::optional<HistoryOverview>>(
        context, &Worker::historyFailure,
        std::optional<std::optional<HistoryOverview>>(std::in_place), // an answer: no overview
        [now, weekly, dayAndTime = std::move(dayAndTime), scope](Worker& worker) {
            return worker.overview(now, weekly, dayAndTime, scope);
        },
        std::move(done));
}

} // namespace vellumkite
