#include "AppModel.hpp"

#include "BoxSettings.hpp"
#include "DemoData.hpp"
#include "DemoHistory.hpp"
#include "FailureNote.hpp"
#include "Fd.hpp"
#include "HistoryDatabase.hpp"
#include "LocaleTimeOfDay.hpp"
#include "LogFolders.hpp"
#include "LoginItem.hpp"
#include "MemoryPreferences.hpp"
#include "Notifier.hpp"
#include "PreferenceKeys.hpp"
#include "PriceTable.hpp"
#include "RefreshPass.hpp"
#include "UsageStore.hpp"
#include "WritablePreferences.hpp"

#include <atomic>
#include <exception>
#include <QElapsedTimer>
#include <QMetaObject>
#include <QThread>
#include <QTimer>
#include <unistd.h>

namespace vellumkite {

// Lives on the store thread and owns the store; everything it does runs there.
struct AppModel::Worker : QObject {
    Worker(const Services& services, const WritablePreferences& preferences)
        : logs(services.logRoot.empty() ? LogFolders::find().folders
                                        : std::vector{services.logRoot}),
          store(RefreshPass::kLookbackSeconds, services.clock), preferences(preferences),
          clock(services.clock),
          limitsFile(services.limitsFile.empty() ? Limits::file() : services.limitsFile),
          timeOfDay(services.timeOfDay),
          keeper(
              services.historyFile.empty() ? HistoryDatabase::defaultFile() : services.historyFile,
              RefreshPass::kLookbackSeconds,
              [](const std::string& line) {
                  (void)Fd::writeAll(STDERR_FILENO, "vellumkite: " + line + "\n");
              },
              services.clock) {}

    struct Pass {
        Snapshot snapshot;
        HistoryKeeper::Status history;
        bool read = false; // some log had something new
    };

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
        out.snapshot = RefreshPass::snapshot(store, in);
        if (history)
            keeper.afterPass();
        out.history = keeper.status();
        out.read = read.files > 0;
        return out;
    }

    std::optional<HistoryOverview> overview(Instant now, std::optional<Limits::Window> weekly,
                                            const TimeOfDayFormatter& dayAndTime) {
        if (!prices)
            prices = PriceTable::standard();
        return keeper.overview(now, weekly, dayAndTime, *prices);
    }

    LogPass logs;
    UsageStore store;
    const WritablePreferences& preferences;
    Clock clock;
    std::filesystem::path limitsFile;
    TimeOfDayFormatter timeOfDay;
    HistoryKeeper keeper;
    bool attached = false;
    std::optional<PriceTable> prices;
    std::atomic<bool> cancelled{false};
};

struct AppModel::State {
    Services services;
    std::unique_ptr<MemoryPreferences> ownPreferences; // only when none was given
    WritablePreferences* preferences = nullptr;
    bool demo = false;

    bool loaded = false;
    Snapshot figures;
    Instant shownAt; // when the views were last told of a change in the figures
    std::optional<Tip> tip;
    BoxSettings box;

    FailureNote saveFailure{QStringLiteral("save the floating box's settings")};
    std::unique_ptr<Notifier> notifier;
    std::function<void()> boxHandler;
    QThread thread;
    Worker* worker = nullptr; // deleted on its own thread when that thread finishes
    QTimer* timer = nullptr;

    std::optional<HistoryOverview> history;
    HistoryKeeper::Status historyStatus;
    bool watchingHistory = false;
    bool historyDue = false;     // a pass read something since the history was last read
    bool historyReading = false; // a request is on its way to the store thread
    QElapsedTimer sinceHistoryRead;
    QTimer* historyTimer = nullptr; // holds a read back to once a second
};

AppModel::AppModel(Services services, QObject* parent)
    : QObject(parent), d_(std::make_unique<State>()) {
    d_->services = std::move(services);
    if (!d_->services.clock)
        d_->services.clock = systemClock();
    if (!d_->services.environment)
        d_->services.environment = &Environment::process;
    d_->preferences = d_->services.preferences;
    if (!d_->preferences) {
        d_->ownPreferences = std::make_unique<MemoryPreferences>();
        d_->preferences = d_->ownPreferences.get();
    }

    d_->box = BoxSettings::load(*d_->preferences);
    const Environment env = d_->services.environment();
    d_->demo = env.has("VELLUMKITE_DEMO");
    // The demo shows made-up tips: none of them may become a notification.
    d_->notifier = std::make_unique<Notifier>(
        *d_->preferences, d_->demo ? nullptr : d_->services.notifications, d_->services.clock);

    if (d_->demo) {
        if (const auto raw = env.get("VELLUMKITE_DEMO_SIZE")) {
            if (const auto size = BoxSizes::fromRaw(*raw))
                setBoxSize(*size);
        }
        loadDemo();
        QTimer::singleShot(0, this, [this] {
            updateBox();
            emit demoPanelRequested();
        });
        return;
    }

    d_->worker = new Worker(d_->services, *d_->preferences);
    d_->worker->moveToThread(&d_->thread);
    connect(&d_->thread, &QThread::finished, d_->worker, &QObject::deleteLater);
    d_->thread.setObjectName(QStringLiteral("vellumkite.store"));
    d_->thread.start();

    refresh();
    d_->timer = new QTimer(this);
    d_->timer->setInterval(d_->services.intervalMs);
    connect(d_->timer, &QTimer::timeout, this, &AppModel::refresh);
    d_->timer->start();
    QTimer::singleShot(0, this, [this] { updateBox(); });
}

AppModel::~AppModel() {
    if (d_->worker) {
        // Passes still queued see the flag and do nothing; one already running finishes first.
        // Its publish call was posted to this object and goes with it.
        d_->worker->cancelled = true;
        d_->thread.quit();
        d_->thread.wait();
    }
}

bool AppModel::loaded() const {
    return d_->loaded;
}
const std::optional<Limits>& AppModel::limits() const {
    return d_->figures.limits;
}
const std::optional<ChatSummary>& AppModel::currentChat() const {
    return d_->figures.currentChat;
}
const std::vector<ChatSummary>& AppModel::topChats() const {
    return d_->figures.topChats;
}
const std::vector<ToolEater>& AppModel::toolEaters() const {
    return d_->figures.toolEaters;
}
double AppModel::todayWeight() const {
    return d_->figures.todayWeight;
}
double AppModel::burnPerMin() const {
    return d_->figures.burnPerMin;
}
const std::vector<double>& AppModel::sparkline() const {
    return d_->figures.sparkline;
}
const std::optional<Tip>& AppModel::tip() const {
    return d_->tip;
}

bool AppModel::showBox() const {
    return d_->box.show;
}
BoxSize AppModel::boxSize() const {
    return d_->box.size;
}
std::optional<QPointF> AppModel::boxTopLeft() const {
    return d_->box.topLeft;
}

void AppModel::setShowBox(bool show) {
    d_->box.show = show;
    boxSettingChanged(d_->box.saveShow(*d_->preferences));
    updateBox();
}

void AppModel::setBoxSize(BoxSize size) {
    d_->box.size = size;
    boxSettingChanged(d_->box.saveSize(*d_->preferences));
}

void AppModel::setBoxTopLeft(const QPointF& topLeft) {
    if (d_->box.topLeft == topLeft)
        return;
    d_->box.topLeft = topLeft;
    d_->saveFailure.record(d_->box.saveTopLeft(*d_->preferences));
}

void AppModel::boxSettingChanged(bool saved) {
    d_->saveFailure.record(saved);
    emit changed();
}

bool AppModel::launchAtLogin() const {
    return d_->services.loginItem && d_->services.loginItem->isEnabled();
}

void AppModel::setLaunchAtLogin(bool enabled) {
    if (LoginItem* item = d_->services.loginItem) {
        if (QString error; !item->setEnabled(enabled, &error))
            LoginItem::logFailure(error);
    }
    // Also after a failure: the views re-read and show the real state.
    emit changed();
}

QString AppModel::menuTitle() const {
    return QString::fromStdString(vellumkite::menuTitle(d_->loaded, d_->figures));
}

Level AppModel::chatLevel(std::int64_t chatSize) const {
    return vellumkite::chatLevel(chatSize,
                                 Thresholds::load(*d_->preferences, d_->services.environment()));
}

Instant AppModel::now() const {
    return d_->services.clock();
}

bool AppModel::demoMode() const {
    return d_->demo;
}

void AppModel::refresh() {
    Worker* worker = d_->worker;
    if (!worker)
        return; // demo mode: the figures never change
    // The environment is read here, on the main thread, where it is also changed.
    QMetaObject::invokeMethod(
        worker,
        [this, worker, env = d_->services.environment()]() mutable {
            if (worker->cancelled)
                return;
            Worker::Pass pass;
            try {
                pass = worker->pass(std::move(env));
            } catch (const std::exception&) {
                return; // out of memory or the like: this pass publishes nothing
            }
            // Naming the model as context drops the call if the model is gone by then.
            QMetaObject::invokeMethod(
                this,
                [this, pass = std::move(pass)] {
                    publish(pass.snapshot);
                    const bool statusChanged = !(d_->historyStatus == pass.history);
                    d_->historyStatus = pass.history;
                    d_->historyDue = d_->historyDue || pass.read || statusChanged;
                    if (statusChanged)
                        emit historyChanged();
                    readHistory();
                },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

void AppModel::setBoxHandler(std::function<void()> handler) {
    d_->boxHandler = std::move(handler);
}

void AppModel::updateBox() {
    if (d_->boxHandler)
        d_->boxHandler();
}

void AppModel::publish(const Snapshot& s) {
    // Most passes at rest change nothing on screen: the views are left be then.
    const Instant now = d_->services.clock();
    const bool same = d_->loaded && d_->figures.looksSame(s, d_->shownAt, now);
    d_->figures = s;
    d_->tip = s.tip();
    // The notification says what the views are about to show.
    d_->notifier->consider(s.tips);
    d_->loaded = true;
    if (!same) {
        d_->shownAt = now;
        emit changed();
    }
    emit published();
}

void AppModel::loadDemo() {
    publish(DemoData::snapshot(d_->services.clock()));
    d_->history = DemoHistory::overview(d_->services.clock());
    d_->historyStatus = {true, {}, std::nullopt};
    emit historyChanged();
}

std::optional<QRect> AppModel::historyGeometry() const {
    const QVariant stored =
        d_->preferences->value(QLatin1String(PreferenceKeys::historyWindow.name));
    if (stored.typeId() != QMetaType::QString)
        return std::nullopt;
    const QStringList parts = stored.toString().split(QLatin1Char(','));
    if (parts.size() != 4)
        return std::nullopt;
    int v[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        v[i] = parts[i].trimmed().toInt(&ok);
        if (!ok)
            return std::nullopt;
    }
    if (v[2] <= 0 || v[3] <= 0)
        return std::nullopt;
    return QRect(v[0], v[1], v[2], v[3]);
}

void AppModel::setHistoryGeometry(const QRect& g) {
    if (historyGeometry() == g)
        return;
    const QString text =
        QStringLiteral("%1, %2, %3, %4").arg(g.x()).arg(g.y()).arg(g.width()).arg(g.height());
    d_->saveFailure.record(
        d_->preferences->setValue(QLatin1String(PreferenceKeys::historyWindow.name), text));
}

void AppModel::openHistory() {
    emit historyRequested();
}

void AppModel::watchHistory(bool watching) {
    d_->watchingHistory = watching;
    if (watching) {
        d_->historyDue = true;
        readHistory();
    }
}

const std::optional<HistoryOverview>& AppModel::history() const {
    return d_->history;
}

const HistoryKeeper::Status& AppModel::historyStatus() const {
    return d_->historyStatus;
}

void AppModel::readHistory() {
    Worker* worker = d_->worker;
    if (!worker || !d_->watchingHistory || !d_->historyDue || d_->historyReading)
        return;
    // At most once a second: a read that comes sooner waits for the rest of the second.
    constexpr qint64 kMinimumGapMs = 1000;
    if (d_->sinceHistoryRead.isValid() && d_->sinceHistoryRead.elapsed() < kMinimumGapMs) {
        if (!d_->historyTimer) {
            d_->historyTimer = new QTimer(this);
            d_->historyTimer->setSingleShot(true);
            connect(d_->historyTimer, &QTimer::timeout, this, &AppModel::readHistory);
        }
        if (!d_->historyTimer->isActive())
            d_->historyTimer->start(
                static_cast<int>(kMinimumGapMs - d_->sinceHistoryRead.elapsed()));
        return;
    }
    d_->historyDue = false;
    d_->historyReading = true;
    d_->sinceHistoryRead.start();
    const Instant now = d_->services.clock();
    std::optional<Limits::Window> weekly;
    if (d_->figures.limits)
        weekly = d_->figures.limits->sevenDay;
    QMetaObject::invokeMethod(
        worker,
        [this, worker, now, weekly,
         dayAndTime = LocaleTimeOfDay::dayAndTime(d_->services.environment())] {
            if (worker->cancelled)
                return;
            std::optional<HistoryOverview> overview;
            try {
                overview = worker->overview(now, weekly, dayAndTime);
            } catch (const std::exception&) {
            }
            QMetaObject::invokeMethod(
                this,
                [this, overview = std::move(overview)] {
                    d_->historyReading = false;
                    d_->history = overview;
                    emit historyChanged();
                    readHistory(); // a pass that came meanwhile
                },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

} // namespace vellumkite
