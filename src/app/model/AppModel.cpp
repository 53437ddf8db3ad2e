#include "AppModel.hpp"

#include "BoxSettings.hpp"
#include "DemoData.hpp"
#include "DemoHistory.hpp"
#include "FailureNote.hpp"
#include "HistoryFeed.hpp"
#include "HistoryGeometry.hpp"
#include "LocaleTimeOfDay.hpp"
#include "LoginItem.hpp"
#include "MemoryPreferences.hpp"
#include "Notifier.hpp"
#include "PreferenceKeys.hpp"
#include "QtText.hpp"
#include "StoreThread.hpp"
#include "SyncFolder.hpp"
#include "WritablePreferences.hpp"

#include <QTimer>

namespace vellumkite {

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
    // After the preferences it reads, so that it stops before they go.
    std::unique_ptr<StoreThread> store; // none in demo mode
    QTimer* timer = nullptr;
    HistoryFeed* history = nullptr;
    bool historyAllMachines = true;
    SyncKeeper::Status sync;
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

    if (!d_->demo) {
        const Services& s = d_->services;
        d_->store = std::make_unique<StoreThread>(StoreThread::Inputs{
            d_->preferences, s.clock, s.logRoot, s.limitsFile, s.historyFile, s.timeOfDay, {}});
    }
    d_->history = new HistoryFeed(
        d_->store.get(),
        [this] {
            std::optional<Limits::Window> weekly;
            if (d_->figures.limits)
                weekly = d_->figures.limits->sevenDay;
            return HistoryFeed::Question{d_->services.clock(), weekly,
                                         LocaleTimeOfDay::dayAndTime(d_->services.environment()),
                                         d_->historyAllMachines ? MachineScope::every()
                                                                : MachineScope::self()};
        },
        this);
    connect(d_->history, &HistoryFeed::changed, this, &AppModel::historyChanged);

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

    refresh();
    d_->timer = new QTimer(this);
    d_->timer->setInterval(d_->services.intervalMs);
    connect(d_->timer, &QTimer::timeout, this, &AppModel::refresh);
    d_->timer->start();
    QTimer::singleShot(0, this, [this] { updateBox(); });
}

AppModel::~AppModel() {
    // Passes still queued are dropped; one already running finishes first. Its answer was
    // posted to this object and goes with it.
    d_->store.reset();
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
const std::optional<double>& AppModel::percentPerMessage() const {
    return d_->figures.percentPerMessage;
}
const std::vector<LimitProjection>& AppModel::projections() const {
    return d_->figures.projections;
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

std::optional<QRect> AppModel::historyGeometry() const {
    return HistoryGeometry::load(*d_->preferences);
}

void AppModel::setHistoryGeometry(const QRect& g) {
    if (historyGeometry() == g)
        return;
    d_->saveFailure.record(HistoryGeometry::save(*d_->preferences, g));
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

Level AppModel::titleLevel() const {
    const Thresholds th = Thresholds::load(*d_->preferences, d_->services.environment());
    const auto& limits = d_->figures.limits;
    if (limits && limits->fiveHour) {
        const double p = limits->fiveHour->usedPercent;
        return p >= th.limitAlert ? Level::alert : p >= th.limitWarn ? Level::warn : Level::info;
    }
    if (const auto& chat = d_->figures.currentChat)
        return vellumkite::chatLevel(chat->size, th);
    return Level::info;
}

Instant AppModel::now() const {
    return d_->services.clock();
}

std::string AppModel::timeOfDay(Instant t) const {
    if (d_->services.timeOfDay)
        return d_->services.timeOfDay(t);
    return LocaleTimeOfDay::formatter(d_->services.environment())(t);
}

bool AppModel::demoMode() const {
    return d_->demo;
}

void AppModel::refresh() {
    if (!d_->store)
        return; // demo mode: the figures never change
    // The environment is read here, on the main thread, where it is also changed.
    d_->store->pass(d_->services.environment(), this, [this](StoreThread::Pass pass) {
        // The machines and the folder show in the popover: a change there is a change to show.
        const bool syncChanged = !(pass.sync == d_->sync);
        d_->sync = std::move(pass.sync);
        publish(pass.snapshot, syncChanged);
        d_->history->afterPass(pass.history, pass.read);
    });
}

void AppModel::setBoxHandler(std::function<void()> handler) {
    d_->boxHandler = std::move(handler);
}

void AppModel::updateBox() {
    if (d_->boxHandler)
        d_->boxHandler();
}

void AppModel::publish(const Snapshot& s, bool changedElsewhere) {
    // Most passes at rest change nothing on screen: the views are left be then.
    const Instant now = d_->services.clock();
    const bool same = !changedElsewhere && d_->loaded && d_->figures.looksSame(s, d_->shownAt, now);
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
    d_->history->show(DemoHistory::overview(d_->services.clock()), {true, {}, std::nullopt});
}

void AppModel::openHistory() {
    emit historyRequested();
}

void AppModel::watchHistory(bool watching) {
    d_->history->watch(watching);
}

const std::optional<HistoryOverview>& AppModel::history() const {
    return d_->history->overview();
}

const HistoryKeeper::Status& AppModel::historyStatus() const {
    return d_->history->status();
}

bool AppModel::historyAllMachines() const {
    return d_->historyAllMachines;
}

void AppModel::setHistoryAllMachines(bool all) {
    if (all == d_->historyAllMachines)
        return;
    d_->historyAllMachines = all;
    d_->history->askAgain();
}

const SyncKeeper::Status& AppModel::sync() const {
    return d_->sync;
}

QString AppModel::useSyncFolder(const QString& folder) {
    const std::filesystem::path path = utf8(folder);
    if (const auto problem = SyncFolder::problem(path))
        return QStringLiteral("%1 %2").arg(folder, qs(*problem));
    if (!d_->preferences->set(PreferenceKeys::syncFolder, folder))
        return QStringLiteral("The setting could not be saved.");
    refresh();
    return {};
}

void AppModel::stopSync() {
    if (d_->preferences->set(PreferenceKeys::syncFolder, QString()))
        refresh();
}

} // namespace vellumkite
