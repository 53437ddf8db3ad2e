#include "AppModel.hpp"

#include "BoxSettings.hpp"
#include "DemoData.hpp"
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

namespace vellumkite {

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
    Snapshot figures;
    std::optional<Tip> tip;
    BoxSettings box;

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
    d_->figures = s;
    d_->tip = s.tip();
    // The notification says what the views are about to show.
    d_->notifier->consider(s.tips);
    d_->loaded = true;
    emit changed();
    emit published();
}

void AppModel::loadDemo() {
    publish(DemoData::snapshot(d_->services.clock()));
}

} // namespace vellumkite
