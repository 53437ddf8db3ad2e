#include "AppModel.hpp"

#include "FailureNote.hpp"
#include "LocaleTimeOfDay.hpp"
#include "LogFolders.hpp"
#include "LoginItem.hpp"
#include "MemoryPreferences.hpp"
#include "Notifier.hpp"
#include "RefreshPass.hpp"
#include "UsageStore.hpp"
#include "WritablePreferences.hpp"

#include <atomic>
#include <exception>
#include <QMetaObject>
#include <QThread>
#include <QTimer>
#include <QVariant>

namespace vellumkite {

namespace {

BoxSize readBoxSize(const WritablePreferences& prefs) {
    return BoxSizes::fromRaw(prefs.get(PreferenceKeys::boxSize).toStdString())
        .value_or(BoxSize::medium);
}

} // namespace

// Lives on the store thread and owns the store; everything it does runs there.
struct AppModel::Worker : QObject {
    Worker(const Services& services, const WritablePreferences& preferences)
        : store(services.logRoot.empty() ? LogFolders::find().folders
                                         : std::vector{services.logRoot},
                RefreshPass::kLookbackSeconds, services.clock),
          preferences(preferences), clock(services.clock),
          limitsFile(services.limitsFile.empty() ? Limits::file() : services.limitsFile),
          timeOfDay(services.timeOfDay) {}

    Snapshot pass(Environment env) {
        RefreshPass::Inputs in;
        in.limitsFile = limitsFile;
        in.preferences = &preferences;
        in.timeOfDay = timeOfDay ? timeOfDay : LocaleTimeOfDay::formatter(env);
        in.environment = std::move(env);
        in.clock = clock;
        return RefreshPass::run(store, in);
    }

    UsageStore store;
    const WritablePreferences& preferences;
    Clock clock;
    std::filesystem::path limitsFile;
    TimeOfDayFormatter timeOfDay;
    std::atomic<bool> cancelled{false};
};

struct AppModel::State {
    Services services;
    std::unique_ptr<MemoryPreferences> ownPreferences; // only when none was given
    WritablePreferences* preferences = nullptr;
    bool demo = false;

    bool loaded = false;
    std::optional<Limits> limits;
    std::optional<ChatSummary> currentChat;
    std::vector<ChatSummary> topChats;
    std::vector<ToolEater> toolEaters;
    double todayWeight = 0;
    double burnPerMin = 0;
    std::vector<double> sparkline;
    std::optional<Tip> tip;
    bool showBox = true;
    BoxSize boxSize = BoxSize::medium;

    FailureNote saveFailure{QStringLiteral("save the floating box's settings")};
    std::unique_ptr<Notifier> notifier;
    std::function<void()> boxHandler;
    QThread thread;
    Worker* worker = nullptr; // deleted on its own thread when that thread finishes
    QTimer* timer = nullptr;
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

    d_->showBox = d_->preferences->get(PreferenceKeys::showBox);
    d_->boxSize = readBoxSize(*d_->preferences);
    d_->notifier = std::make_unique<Notifier>(*d_->preferences, d_->services.notifications,
                                              d_->services.clock);

    if (d_->services.environment().has("VELLUMKITE_DEMO")) {
        d_->demo = true;
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
    return d_->limits;
}
const std::optional<ChatSummary>& AppModel::currentChat() const {
    return d_->currentChat;
}
const std::vector<ChatSummary>& AppModel::topChats() const {
    return d_->topChats;
}
const std::vector<ToolEater>& AppModel::toolEaters() const {
    return d_->toolEaters;
}
double AppModel::todayWeight() const {
    return d_->todayWeight;
}
double AppModel::burnPerMin() const {
    return d_->burnPerMin;
}
const std::vector<double>& AppModel::sparkline() const {
    return d_->sparkline;
}
const std::optional<Tip>& AppModel::tip() const {
    return d_->tip;
}

bool AppModel::showBox() const {
    return d_->showBox;
}

void AppModel::setShowBox(bool show) {
    d_->showBox = show;
    d_->saveFailure.record(d_->preferences->set(PreferenceKeys::showBox, show));
    emit changed();
    updateBox();
}

BoxSize AppModel::boxSize() const {
    return d_->boxSize;
}

void AppModel::setBoxSize(BoxSize size) {
    d_->boxSize = size;
    d_->saveFailure.record(
        d_->preferences->set(PreferenceKeys::boxSize, QString::fromLatin1(BoxSizes::raw(size))));
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
    return QString::fromStdString(vellumkite::menuTitle(d_->loaded, d_->limits, d_->currentChat));
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
            Snapshot snapshot;
            try {
                snapshot = worker->pass(std::move(env));
            } catch (const std::exception&) {
                return; // out of memory or the like: this pass publishes nothing
            }
            // Naming the model as context drops the call if the model is gone by then.
            QMetaObject::invokeMethod(
                this, [this, snapshot = std::move(snapshot)] { publish(snapshot); },
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
    d_->limits = s.limits;
    emit changed();
    d_->currentChat = s.currentChat;
    emit changed();
    d_->topChats = s.topChats;
    emit changed();
    d_->toolEaters = s.toolEaters;
    emit changed();
    d_->todayWeight = s.todayWeight;
    emit changed();
    d_->burnPerMin = s.burnPerMin;
    emit changed();
    d_->sparkline = s.sparkline;
    emit changed();
    d_->tip = s.tip();
    emit changed();
    d_->notifier->consider(s.tips);
    d_->loaded = true;
    emit changed();
    emit published();
}

void AppModel::loadDemo() {
    const Instant now = d_->services.clock();
    const Environment env = d_->services.environment();
    if (const auto raw = env.get("VELLUMKITE_DEMO_SIZE")) {
        if (const auto size = BoxSizes::fromRaw(*raw))
            setBoxSize(*size);
    }

    Limits limits;
    limits.fiveHour = Limits::Window{34, addSeconds(now, 7800)};
    limits.sevenDay = Limits::Window{18, addSeconds(now, 356400)};
    limits.savedAt = now;
    const std::vector<ChatSummary> chats = {
        {"a", "/Users/you/Projects/my-app", now, 42, 86000, 41, 0},
        {"b", "/Users/you/Projects/website", addSeconds(now, -5700), 63, 140000, 27, 0},
        {"c", "/Users/you/Projects/api-server", addSeconds(now, -12600), 18, 52000, 14, 0},
        {"d", "/Users/you/Projects/notes", addSeconds(now, -18000), 9, 21000, 6, 0},
    };

    d_->limits = limits;
    emit changed();
    d_->currentChat = chats.front();
    emit changed();
    d_->topChats = chats;
    emit changed();
    d_->todayWeight = 100;
    emit changed();
    d_->toolEaters = {
        {"File reads", 118, 310000, 22, 0},
        {"Shell commands", 64, 140000, 11, 0},
        {"Web", 9, 60000, 6, 0},
    };
    emit changed();
    d_->burnPerMin = 18000;
    emit changed();
    d_->sparkline = {0, 0, 0, 2, 3, 1, 0, 0, 4, 6, 5, 3, 0, 0, 0,
                     2, 5, 8, 7, 6, 3, 2, 0, 0, 3, 5, 9, 7, 4, 6};
    emit changed();
    d_->tip = Tip{"demo", Tip::Level::info, "Healthy chat size",
                  "One task per chat keeps it that way.", std::nullopt};
    emit changed();
    d_->loaded = true;
    emit changed();
}

} // namespace vellumkite
