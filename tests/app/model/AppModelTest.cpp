#include "AppModel.hpp"

#include "History.hpp"
#include "HistoryDatabase.hpp"
#include "HistoryUpdate.hpp"
#include "LimitReading.hpp"
#include "LoginItem.hpp"
#include "LogLines.hpp"
#include "MemoryPreferences.hpp"
#include "NotificationCenter.hpp"
#include "PreferenceKeys.hpp"
#include "PreferencesStore.hpp"
#include "RefreshPass.hpp"
#include "SyncFolder.hpp"
#include "SyncPublish.hpp"
#include "TempDir.hpp"
#include "Timestamp.hpp"
#include "ToolCategory.hpp"
#include "UsageStore.hpp"
#include "WaitUntil.hpp"

#include <atomic>
#include <deque>
#include <gtest/gtest.h>
#include <mutex>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QProcess>
#include <QThread>
#include <QTime>
#include <set>
#include <thread>

using namespace vellumkite;
using namespace vellumkite::testing;
using namespace std::chrono_literals;

namespace {

const Instant kNoon = *Timestamp::parse("2025-03-01T12:00:00.000Z");

// Lets the event loop run for a while, for checks that something does not happen.
void spin(int ms) {
    waitUntil([] { return false; }, ms);
}

struct Post {
    QString identifier, title, body;
    bool sound = false;
};

class RecordingCenter : public NotificationCenter {
public:
    void post(const QString& identifier, const QString& title, const QString& body,
              bool sound) override {
        posts.push_back({identifier, title, body, sound});
        if (onPost)
            onPost();
    }
    std::vector<Post> posts;
    std::function<void()> onPost;
};

// The published fields that differ from their initial values.
std::set<std::string> setFields(const AppModel& m) {
    std::set<std::string> out;
    auto add = [&](bool set, const char* name) {
        if (set)
            out.insert(name);
    };
    add(m.limits().has_value(), "limits");
    add(m.currentChat().has_value(), "currentChat");
    add(!m.topChats().empty(), "topChats");
    add(!m.toolEaters().empty(), "toolEaters");
    add(m.todayWeight() != 0, "todayWeight");
    add(m.burnPerMin() != 0, "burnPerMin");
    add(!m.sparkline().empty(), "sparkline");
    add(m.tip().has_value(), "tip");
    add(m.loaded(), "loaded");
    return out;
}

// The published fields that are set at each changed().
struct Changes {
    explicit Changes(AppModel& m) {
        QObject::connect(&m, &AppModel::changed, &m, [this, &m] { seen.push_back(setFields(m)); });
    }
    std::vector<std::set<std::string>> seen;
};

// The passes a model published and the history answers it brought, counted as they come.
struct Tally {
    explicit Tally(AppModel& m) {
        QObject::connect(&m, &AppModel::published, &m, [this] { ++published; });
        QObject::connect(&m, &AppModel::historyChanged, &m,
                         [this, &m] { historyAnswers += m.history() ? 1 : 0; });
    }
    int published = 0;
    int historyAnswers = 0;
};

class AppModelTest : public ::testing::Test {
protected:
    TempDir dir;
    ScopedEnv home{"HOME", dir.path().c_str()};
    ScopedEnv config{"XDG_CONFIG_HOME", (dir / "config").c_str()};
    ScopedEnv data{"XDG_DATA_HOME", (dir / "data").c_str()};
    std::atomic<std::int64_t> nowUs{kNoon.time_since_epoch().count()};
    MemoryPreferences prefs;
    RecordingCenter center;
    Environment env;
    int serial = 0;

    Instant now() const { return Instant(std::chrono::microseconds(nowUs.load())); }
    void setNow(Instant t) { nowUs = t.time_since_epoch().count(); }

    AppModel::Services services() {
        AppModel::Services s;
        s.preferences = &prefs;
        s.notifications = &center;
        s.clock = [this] { return now(); };
        s.environment = [this] { return env; };
        s.logRoot = dir / "projects";
        s.limitsFile = dir / "statusline.json";
        s.historyFile = dir / "history.sqlite3";
        s.timeOfDay = [](Instant t) { return Timestamp::format(t).substr(11, 5); };
        s.intervalMs = 3600 * 1000; // tests call refresh() themselves
        return s;
    }

    void addReply(const std::string& session, Instant t, std::int64_t input,
                  std::vector<std::pair<std::string, std::string>> tools = {}) {
        Reply r;
        r.messageId = "m" + std::to_string(++serial);
        r.requestId = "r" + std::to_string(serial);
        r.sessionId = session;
        r.timestamp = Timestamp::format(t);
        r.input = input;
        r.output = 0;
        r.cwd = "/home/you/" + session;
        r.tools = std::move(tools);
        appendFile(dir / "projects" / (session + ".jsonl"), replyLine(r) + "\n");
    }
    void addResult(const std::string& session, Instant t, const std::string& id,
                   std::size_t bytes) {
        appendFile(dir / "projects" / (session + ".jsonl"),
                   resultLine(session, Timestamp::format(t), {{id, bytes}}) + "\n");
    }
    void writeLimits(double fiveHourPercent, Instant resetsAt) {
        writeFile(dir / "statusline.json",
                  R"({"rate_limits":{"five_hour":{"used_percentage":)" +
                      std::to_string(fiveHourPercent) + R"(,"resets_at":)" +
                      std::to_string(toUnixSeconds(resetsAt)) +
                      R"(},"seven_day":{"used_percentage":18,"resets_at":1e10}}})");
    }
};

TEST_F(AppModelTest, APassIsPublishedWholeAndNotifiesWhatTheViewsShow) {
    addReply("big", kNoon - 2min, 400000, {{"t1", "Read"}});
    addResult("big", kNoon - 1min, "t1", 8000);
    writeLimits(40, kNoon + 1h);

    AppModel model(services());
    EXPECT_EQ(model.menuTitle(), "\u2026");
    EXPECT_TRUE(setFields(model).empty());

    Changes changes(model);
    std::optional<Tip> tipAtPost;
    center.onPost = [&] { tipAtPost = model.tip(); };
    int published = 0;
    QObject::connect(&model, &AppModel::published, [&] { ++published; });
    ASSERT_TRUE(waitUntil([&] { return published == 1; }));

    // A view woken by any change sees the whole pass, never part of it.
    const std::set<std::string> all = {"limits",     "currentChat", "topChats",
                                       "toolEaters", "todayWeight", "burnPerMin",
                                       "sparkline",  "tip",         "loaded"};
    ASSERT_FALSE(changes.seen.empty());
    for (const auto& fields : changes.seen)
        EXPECT_EQ(fields, all);
    ASSERT_EQ(center.posts.size(), 1u);
    EXPECT_EQ(center.posts[0].identifier, "chat.hard|big");
    EXPECT_EQ(tipAtPost, model.tip());
    EXPECT_EQ(model.tip()->rule, "chat.hard");
    EXPECT_EQ(model.sparkline().size(), 30u);
    EXPECT_EQ(model.menuTitle(), "40%");

    // A pass with nothing new is still published, and notifies nothing again; the views would
    // show the same and are not woken.
    const std::size_t before = changes.seen.size();
    model.refresh();
    ASSERT_TRUE(waitUntil([&] { return published == 2; }));
    EXPECT_EQ(changes.seen.size(), before);
    EXPECT_EQ(center.posts.size(), 1u);
    // Forty seconds on, what they show has moved: the limit resets in 59 minutes, not 60.
    setNow(now() + 40s);
    model.refresh();
    ASSERT_TRUE(waitUntil([&] { return published == 3; }));
    EXPECT_EQ(changes.seen.size(), before + 1);
}

TEST_F(AppModelTest, TheHistoryIsWrittenEveryPassAndReadOnlyWhileWatched) {
    addReply("a", kNoon - 5min, 1000);
    addReply("a", kNoon - 4min, 2000);
    AppModel model(services());
    const Tally tally(model);
    ASSERT_TRUE(waitUntil([&] { return tally.published == 1; }));
    EXPECT_TRUE(model.historyStatus().available);
    spin(50);
    EXPECT_FALSE(model.history()) << "nothing is read while no window is open";
    EXPECT_TRUE(std::filesystem::exists(dir / "history.sqlite3"));

    model.watchHistory(true);
    ASSERT_TRUE(waitUntil([&] { return tally.historyAnswers == 1; }));
    EXPECT_EQ(model.history()->days.back().usage.replies, 2);
    EXPECT_DOUBLE_EQ(model.history()->days.back().totalWeight(), 3000);

    // A pass that reads new lines brings a new answer, a second after the last at the most.
    addReply("b", kNoon - 1min, 4000);
    model.refresh();
    ASSERT_TRUE(waitUntil([&] { return tally.historyAnswers == 2; }, 5000));
    EXPECT_EQ(model.history()->days.back().usage.replies, 3);

    model.watchHistory(false);
    addReply("b", kNoon, 8000);
    model.refresh();
    ASSERT_TRUE(waitUntil([&] { return tally.published == 3; }));
    spin(1200);
    EXPECT_EQ(tally.historyAnswers, 2) << "closed: no reads";
}

TEST_F(AppModelTest, NoLogsGiveAQuietLoadedModel) {
    AppModel model(services());
    ASSERT_TRUE(waitUntil([&] { return model.loaded(); }));
    EXPECT_FALSE(model.limits());
    EXPECT_FALSE(model.currentChat());
    EXPECT_TRUE(model.topChats().empty());
    EXPECT_TRUE(model.toolEaters().empty());
    EXPECT_EQ(model.todayWeight(), 0);
    EXPECT_EQ(model.burnPerMin(), 0);
    EXPECT_EQ(model.sparkline(), std::vector<double>(30, 0.0));
    ASSERT_TRUE(model.tip());
    EXPECT_EQ(model.tip()->title, "All quiet");
    EXPECT_EQ(model.menuTitle(), "\u2013");
    EXPECT_TRUE(center.posts.empty());
}

TEST_F(AppModelTest, PublishesWhatTheRefreshPassComputesOnTheSameTree) {
    // Seven chats today, one yesterday, five tool categories.
    const char* tools[] = {"Read", "Grep", "Bash", "WebFetch", "Task"};
    for (int i = 0; i < 7; ++i) {
        const std::string id = "t" + std::to_string(i);
        addReply("s" + std::to_string(i), kNoon - std::chrono::minutes(10 * i + 1), 1000 * (i + 1),
                 {{id, tools[i % 5]}});
        addResult("s" + std::to_string(i), kNoon - std::chrono::minutes(10 * i), id, 400 * (7 - i));
    }
    addReply("old", kNoon - 20h, 99000);
    writeLimits(12.5, kNoon + 2h);
    env.set("VELLUMKITE_CHAT_SOFT", "500"); // s0, the current chat, is 1k

    AppModel model(services());
    ASSERT_TRUE(waitUntil([&] { return model.loaded(); }));

    UsageStore store(dir / "projects", RefreshPass::kLookbackSeconds, [this] { return now(); });
    RefreshPass::Inputs in;
    in.limitsFile = dir / "statusline.json";
    in.preferences = &prefs;
    in.environment = env;
    in.clock = [this] { return now(); };
    in.timeOfDay = services().timeOfDay;
    const Snapshot expected = RefreshPass::run(store, in);

    EXPECT_EQ(model.limits(), expected.limits);
    EXPECT_EQ(model.currentChat(), expected.currentChat);
    EXPECT_EQ(model.topChats(), expected.topChats);
    EXPECT_EQ(model.toolEaters(), expected.toolEaters);
    EXPECT_EQ(model.todayWeight(), expected.todayWeight);
    EXPECT_EQ(model.burnPerMin(), expected.burnPerMin);
    EXPECT_EQ(model.sparkline(), expected.sparkline);
    EXPECT_EQ(model.tip(), expected.tip());

    // Independently of the pass: the five heaviest of the seven, the weight of all seven.
    ASSERT_EQ(model.topChats().size(), 5u);
    EXPECT_EQ(model.topChats().front().sessionId, "s6");
    EXPECT_EQ(model.topChats().back().sessionId, "s2");
    EXPECT_EQ(model.todayWeight(), 1000.0 * (1 + 2 + 3 + 4 + 5 + 6 + 7));
    EXPECT_EQ(model.toolEaters().size(), 4u);
    EXPECT_EQ(model.tip()->rule, "chat.soft");
    EXPECT_EQ(model.menuTitle(), "13%");
}

TEST_F(AppModelTest, DefaultServicesPublishWhatTheTerminalToolPrints) {
#ifndef VELLUMKITE_CLI_PATH
    GTEST_SKIP() << "the terminal tool is not part of this build";
#else
    if (!std::filesystem::exists(VELLUMKITE_CLI_PATH))
        GTEST_SKIP() << "the terminal tool has not been built";
    // The system clock, the default log root, limits file, preferences file and locale.
    ScopedEnv lang("LANG", "en_US.UTF-8"), all("LC_ALL", nullptr), time("LC_TIME", nullptr);
    // Ages of whole minutes and a half, so both runs put every turn in the same minute.
    const Instant base = std::chrono::floor<std::chrono::seconds>(systemNow()) - 30s;
    const auto root = dir / ".claude" / "projects";
    for (int i = 0; i < 6; ++i) {
        Reply r;
        r.messageId = "m" + std::to_string(i);
        r.sessionId = "s" + std::to_string(i % 3);
        r.timestamp = Timestamp::format(base - std::chrono::minutes(i * 2 + 1));
        r.input = 20000 * (i + 1);
        r.tools = {{"t" + std::to_string(i), i % 2 ? "Bash" : "Read"}};
        appendFile(root / "p" / (r.sessionId + ".jsonl"),
                   replyLine(r) + "\n" +
                       resultLine(r.sessionId, r.timestamp, {{"t" + std::to_string(i), 900}}) +
                       "\n");
    }
    writeFile(Limits::file(), R"({"rate_limits":{"five_hour":{"used_percentage":40,"resets_at":)" +
                                  std::to_string(toUnixSeconds(base) + 4 * 3600 + 0.5) + "}}}");
    PreferencesStore store;
    ASSERT_TRUE(store.setValue(QStringLiteral("limitAlert"), 30));

    AppModel::Services s;
    s.preferences = &store;
    AppModel model(s);
    ASSERT_TRUE(waitUntil([&] { return model.loaded(); }));

    QProcess cli;
    cli.start(QStringLiteral(VELLUMKITE_CLI_PATH), {QStringLiteral("json")});
    ASSERT_TRUE(cli.waitForFinished(30000));
    const QJsonObject json = QJsonDocument::fromJson(cli.readAllStandardOutput()).object();
    ASSERT_FALSE(json.isEmpty());

    auto text = [](const QJsonValue& v) { return v.toString().toStdString(); };
    EXPECT_EQ(json["menuTitle"].toString(), model.menuTitle());
    ASSERT_TRUE(model.limits() && model.limits()->fiveHour);
    EXPECT_EQ(json["limits"]["fiveHour"]["usedPercent"].toDouble(),
              model.limits()->fiveHour->usedPercent);
    EXPECT_EQ(text(json["limits"]["fiveHour"]["resetsAt"]),
              Timestamp::format(model.limits()->fiveHour->resetsAt));
    ASSERT_TRUE(model.currentChat());
    EXPECT_EQ(text(json["currentChat"]["sessionId"]), model.currentChat()->sessionId);
    EXPECT_EQ(json["currentChat"]["size"].toInteger(), model.currentChat()->size);
    const QJsonArray chats = json["topChats"].toArray();
    ASSERT_EQ(chats.size(), qsizetype(model.topChats().size()));
    for (std::size_t i = 0; i < model.topChats().size(); ++i) {
        EXPECT_EQ(text(chats[i]["sessionId"]), model.topChats()[i].sessionId);
        EXPECT_EQ(chats[i]["weight"].toDouble(), model.topChats()[i].weight);
        EXPECT_EQ(text(chats[i]["lastTime"]), Timestamp::format(model.topChats()[i].lastTime));
    }
    const QJsonArray eaters = json["toolEaters"].toArray();
    ASSERT_EQ(eaters.size(), qsizetype(model.toolEaters().size()));
    for (std::size_t i = 0; i < model.toolEaters().size(); ++i) {
        EXPECT_EQ(text(eaters[i]["category"]), model.toolEaters()[i].category);
        EXPECT_EQ(eaters[i]["weight"].toDouble(), model.toolEaters()[i].weight);
    }
    EXPECT_EQ(json["todayWeight"].toDouble(), model.todayWeight());
    EXPECT_EQ(json["burnPerMin"].toDouble(), model.burnPerMin());
    std::vector<double> sparkline;
    for (const QJsonValue& v : json["sparkline"].toArray())
        sparkline.push_back(v.toDouble());
    EXPECT_EQ(sparkline, model.sparkline());
    const QJsonObject tip = json["tips"][0].toObject();
    EXPECT_EQ(text(tip["rule"]), "limit.alert");
    EXPECT_EQ(text(tip["rule"]), model.tip()->rule);
    EXPECT_EQ(text(tip["title"]), model.tip()->title);
    EXPECT_EQ(text(tip["text"]), model.tip()->text); // the reset time in the same locale format
#endif
}

TEST_F(AppModelTest, SlowPassesRunOneAtATimeInOrderOnTheStoreThread) {
    addReply("s", kNoon - 10min, 100000, {{"t1", "Read"}});
    addResult("s", kNoon - 10min, "t1", 40000);
    writeLimits(40, kNoon + 10min);

    std::atomic<int> inFlight{0}, maxInFlight{0}, mainCalls{0};
    std::mutex mutex;
    std::set<QString> threadNames;
    std::set<QThread*> threads;
    AppModel::Services s = services();
    s.clock = [&, this] {
        if (QThread::currentThread() == QCoreApplication::instance()->thread()) {
            ++mainCalls;
            return now();
        }
        const int n = ++inFlight;
        for (int m = maxInFlight; n > m && !maxInFlight.compare_exchange_weak(m, n);) {
        }
        {
            std::lock_guard lock(mutex);
            threads.insert(QThread::currentThread());
            threadNames.insert(QThread::currentThread()->objectName());
        }
        std::this_thread::sleep_for(15ms);
        --inFlight;
        return now();
    };
    // Each pass gets its own overrides, which decide its first tip.
    const std::vector<std::pair<std::string, std::string>> overrides = {
        {"VELLUMKITE_CHAT_HARD", "50000"}, {"VELLUMKITE_LIMIT_ALERT", "30"},
        {"VELLUMKITE_CHAT_SOFT", "50000"}, {"VELLUMKITE_IDLE_MINUTES", "1"},
        {"VELLUMKITE_TOOL_SHARE", "0"},    {"VELLUMKITE_NONE", "1"}};
    auto envFor = [](const std::pair<std::string, std::string>& o) {
        Environment e;
        e.set("VELLUMKITE_TOOL_SHARE", "1e9");
        e.set(o.first, o.second);
        return e;
    };
    env = envFor(overrides.back());

    AppModel model(s);
    std::vector<std::string> firstTips;
    QObject::connect(&model, &AppModel::published, [&] { firstTips.push_back(model.tip()->rule); });
    const int mainCallsBefore = mainCalls;
    for (const auto& o : overrides) {
        env = envFor(o);
        model.refresh();
    }
    EXPECT_EQ(mainCalls, mainCallsBefore); // refresh() left all the work to the store thread
    ASSERT_TRUE(waitUntil([&] { return firstTips.size() == 7; }, 30000));
    spin(100);

    EXPECT_EQ(firstTips, (std::vector<std::string>{"ok", "chat.hard", "limit.alert", "chat.soft",
                                                   "chat.idle", "tool.File reads", "ok"}));
    EXPECT_EQ(maxInFlight, 1);
    EXPECT_EQ(threads.size(), 1u);
    EXPECT_EQ(threadNames, std::set<QString>{QStringLiteral("vellumkite.store")});
}

TEST_F(AppModelTest, DestroyingTheModelDropsQueuedPasses) {
    std::atomic<int> storeCalls{0};
    AppModel::Services s = services();
    s.clock = [&, this] {
        if (QThread::currentThread() != QCoreApplication::instance()->thread()) {
            ++storeCalls;
            std::this_thread::sleep_for(10ms);
        }
        return now();
    };
    int published = 0;
    {
        AppModel model(s);
        QObject::connect(&model, &AppModel::published, [&] { ++published; });
        ASSERT_TRUE(waitUntil([&] { return storeCalls > 0; }));
        for (int i = 0; i < 50; ++i)
            model.refresh();
    }
    // Every pass reads the clock at least once: the 50 queued ones never ran.
    const int callsAtEnd = storeCalls;
    EXPECT_LT(callsAtEnd, 50);
    spin(200);
    EXPECT_EQ(storeCalls, callsAtEnd);
    EXPECT_EQ(published, 0);
}

TEST_F(AppModelTest, TimerKeepsRefreshingAndTheBoxIsUpdatedOnceAfterStart) {
    AppModel::Services s = services();
    s.intervalMs = 20;
    AppModel model(s);
    int boxUpdates = 0, published = 0;
    model.setBoxHandler([&] { ++boxUpdates; });
    QObject::connect(&model, &AppModel::published, [&] { ++published; });
    EXPECT_EQ(boxUpdates, 0);
    ASSERT_TRUE(waitUntil([&] { return published >= 4; }));
    EXPECT_EQ(boxUpdates, 1);
}

TEST_F(AppModelTest, BoxSettingsReadOnlyExactTypesAndWriteOnEveryChange) {
    struct Case {
        QVariant show, size;
        bool showBox;
        BoxSize boxSize;
    };
    const std::vector<Case> cases = {
        {QVariant(), QVariant(), true, BoxSize::medium},
        {false, QStringLiteral("small"), false, BoxSize::small},
        {QStringLiteral("no"), QStringLiteral("Large"), true, BoxSize::medium},
    };
    for (const Case& c : cases) {
        MemoryPreferences p;
        ASSERT_TRUE(p.setValue(QStringLiteral("showFloatingBox"), c.show));
        ASSERT_TRUE(p.setValue(QStringLiteral("floatingBoxSize"), c.size));
        const auto writesBefore = p.writes().size();
        AppModel::Services s = services();
        s.preferences = &p;
        s.notifications = nullptr; // no fired-notification record either
        AppModel model(s);
        EXPECT_EQ(model.showBox(), c.showBox) << c.show.toString().toStdString();
        EXPECT_EQ(model.boxSize(), c.boxSize) << c.size.toString().toStdString();
        ASSERT_TRUE(waitUntil([&] { return model.loaded(); }));
        EXPECT_EQ(p.writes().size(), writesBefore);
    }

    AppModel::Services s = services();
    s.notifications = nullptr;
    AppModel model(s);
    int boxUpdates = 0, changes = 0;
    model.setBoxHandler([&] { ++boxUpdates; });
    QObject::connect(&model, &AppModel::changed, [&] { ++changes; });
    model.setShowBox(true);
    model.setShowBox(false);
    model.setBoxSize(BoxSize::medium);
    model.setBoxSize(BoxSize::large);
    using W = QPair<QString, QVariant>;
    EXPECT_EQ(prefs.writes(),
              (QList<W>{W("showFloatingBox", true), W("showFloatingBox", false),
                        W("floatingBoxSize", "medium"), W("floatingBoxSize", "large")}));
    EXPECT_EQ(boxUpdates, 2);
    EXPECT_EQ(changes, 4);
    EXPECT_FALSE(model.showBox());
    EXPECT_EQ(model.boxSize(), BoxSize::large);
}

TEST_F(AppModelTest, StoredTextsInThePreferencesFileAreNotBoolsOrSizes) {
    const QString path = QString::fromStdString((dir / "prefs" / "preferences.json").string());
    const std::string original = R"({"showFloatingBox":"no","floatingBoxSize":"Large"})";
    writeFile(dir / "prefs" / "preferences.json", original);
    PreferencesStore store(path);
    AppModel::Services s = services();
    s.preferences = &store;
    s.notifications = nullptr;
    AppModel model(s);
    EXPECT_TRUE(model.showBox());
    EXPECT_EQ(model.boxSize(), BoxSize::medium);
    ASSERT_TRUE(waitUntil([&] { return model.loaded(); }));
    std::ifstream in(dir / "prefs" / "preferences.json");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), original);
}

QStringList gMessages;
void recordMessage(QtMsgType, const QMessageLogContext&, const QString& message) {
    gMessages.append(message);
}

TEST_F(AppModelTest, LaunchAtLoginGoesThroughTheLoginItemAndLogsAFailure) {
    LoginItem item((dir / "autostart" / "vellumkite.desktop").c_str(), "/usr/bin/vellumkite");
    AppModel::Services s = services();
    s.loginItem = &item;
    AppModel model(s);
    int changes = 0;
    QObject::connect(&model, &AppModel::changed, [&] { ++changes; });
    EXPECT_FALSE(model.launchAtLogin());
    model.setLaunchAtLogin(true);
    EXPECT_TRUE(model.launchAtLogin());
    EXPECT_TRUE(std::filesystem::exists(dir / "autostart" / "vellumkite.desktop"));
    model.setLaunchAtLogin(false);
    EXPECT_FALSE(model.launchAtLogin());
    EXPECT_EQ(changes, 2);

    // The autostart folder cannot be made under a regular file.
    writeFile(dir / "not-a-folder", "x");
    ScopedEnv badConfig("XDG_CONFIG_HOME", (dir / "not-a-folder").c_str());
    LoginItem broken;
    s.loginItem = &broken;
    AppModel failing(s);
    QObject::connect(&failing, &AppModel::changed, [&] { ++changes; });
    gMessages.clear();
    const auto old = qInstallMessageHandler(recordMessage);
    failing.setLaunchAtLogin(true);
    qInstallMessageHandler(old);
    ASSERT_EQ(gMessages.size(), 1);
    EXPECT_TRUE(gMessages[0].startsWith("Vellumkite: launch at login: "))
        << gMessages[0].toStdString();
    EXPECT_GT(gMessages[0].size(), QString("Vellumkite: launch at login: ").size());
    EXPECT_FALSE(failing.launchAtLogin());
    EXPECT_EQ(changes, 3);

    s.loginItem = nullptr;
    AppModel without(s);
    without.setLaunchAtLogin(true);
    EXPECT_FALSE(without.launchAtLogin());
}

TEST_F(AppModelTest, AVeryBigChatNotifiesOncePerDay) {
    addReply("big", kNoon - 1min, 400000);
    AppModel model(services());
    int published = 0;
    QObject::connect(&model, &AppModel::published, [&] { ++published; });
    auto pass = [&] {
        const int before = published;
        model.refresh();
        return waitUntil([&] { return published == before + 1; });
    };
    ASSERT_TRUE(waitUntil([&] { return published == 1; }));
    ASSERT_EQ(center.posts.size(), 1u);
    EXPECT_EQ(center.posts[0].identifier, "chat.hard|big");
    EXPECT_EQ(center.posts[0].title, "Very big chat (400k)");
    EXPECT_TRUE(center.posts[0].sound);

    ASSERT_TRUE(pass());
    ASSERT_TRUE(pass());
    setNow(kNoon + 23h + 59min);
    ASSERT_TRUE(pass());
    EXPECT_EQ(center.posts.size(), 1u);
    setNow(kNoon + 24h + 1s);
    ASSERT_TRUE(pass());
    EXPECT_EQ(center.posts.size(), 2u);
    ASSERT_TRUE(pass());
    EXPECT_EQ(center.posts.size(), 2u);
}

TEST_F(AppModelTest, ChatLevelReadsTheThresholdsAtEveryCall) {
    AppModel model(services());
    EXPECT_EQ(model.chatLevel(100000), Level::info);
    ASSERT_TRUE(prefs.setValue(QStringLiteral("chatSoft"), 50000));
    EXPECT_EQ(model.chatLevel(100000), Level::warn);
    env.set("VELLUMKITE_CHAT_HARD", "90000");
    EXPECT_EQ(model.chatLevel(100000), Level::alert);
}

TEST_F(AppModelTest, DefaultTimeOfDayFollowsTheLocaleVariables) {
    writeLimits(95, kNoon + 65min);
    AppModel::Services s = services();
    s.timeOfDay = nullptr;
    const QTime reset(13, 5);
    const struct {
        std::vector<std::pair<std::string, std::string>> vars;
        QString expected;
    } cases[] = {
        {{{"LANG", "en_US.UTF-8"}}, QLocale("en_US").toString(reset, QLocale::ShortFormat)},
        {{{"LANG", "en_US.UTF-8"}, {"LC_TIME", "de_DE.UTF-8"}}, QStringLiteral("13:05")},
        {{{"LC_TIME", "de_DE"}, {"LC_ALL", "en_US"}},
         QLocale("en_US").toString(reset, QLocale::ShortFormat)},
        {{}, QStringLiteral("13:05")},
    };
    for (const auto& c : cases) {
        env = Environment();
        for (const auto& [name, value] : c.vars)
            env.set(name, value);
        AppModel model(s);
        ASSERT_TRUE(waitUntil([&] { return model.loaded(); }));
        ASSERT_EQ(model.tip()->rule, "limit.alert");
        EXPECT_EQ(QString::fromStdString(model.tip()->text),
                  "Save your work now and keep messages small. It resets at " + c.expected + ".");
    }
}

TEST_F(AppModelTest, DemoModeLoadsTheFixedDataOnceAndNeverRefreshes) {
    addReply("big", kNoon - 1min, 400000); // real logs that the demo must not show
    env.set("VELLUMKITE_DEMO", "");
    AppModel::Services s = services();
    s.intervalMs = 10;
    std::atomic<int> storeCalls{0};
    s.clock = [&, this] {
        if (QThread::currentThread() != QCoreApplication::instance()->thread())
            ++storeCalls;
        return now();
    };
    std::vector<std::string> events;
    AppModel model(s);
    model.setBoxHandler([&] { events.push_back("box"); });
    QObject::connect(&model, &AppModel::demoPanelRequested, [&] { events.push_back("panel"); });
    int published = 0;
    QObject::connect(&model, &AppModel::published, [&] { ++published; });
    EXPECT_TRUE(events.empty());
    spin(150);
    EXPECT_EQ(events, (std::vector<std::string>{"box", "panel"}));
    EXPECT_EQ(published, 0);
    EXPECT_EQ(storeCalls, 0);
    EXPECT_TRUE(center.posts.empty());
    for (const auto& [key, value] : prefs.writes())
        EXPECT_NE(key, QStringLiteral("firedNotifications")); // the notifier is not even asked
    EXPECT_TRUE(model.demoMode());

    // Made up, but like a real pass: nothing a real pass could not publish.
    EXPECT_TRUE(model.loaded());
    EXPECT_EQ(model.menuTitle(), "34%");
    ASSERT_TRUE(model.currentChat());
    EXPECT_NE(model.currentChat()->sessionId, "big");
    ASSERT_FALSE(model.topChats().empty());
    EXPECT_LE(model.topChats().size(), Snapshot::kTopChats);
    EXPECT_LE(model.toolEaters().size(), Snapshot::kToolEaters);
    EXPECT_EQ(model.sparkline().size(), Snapshot::kSparklineMinutes);
    double chatWeight = 0;
    for (std::size_t i = 0; i < model.topChats().size(); ++i) {
        const ChatSummary& c = model.topChats()[i];
        chatWeight += c.weight;
        EXPECT_LE(c.lastTime, model.currentChat()->lastTime) << c.sessionId;
        if (i > 0) {
            EXPECT_LE(c.weight, model.topChats()[i - 1].weight) << c.sessionId;
        }
    }
    EXPECT_LE(chatWeight, model.todayWeight());
    for (std::size_t i = 0; i < model.toolEaters().size(); ++i) {
        const ToolEater& e = model.toolEaters()[i];
        EXPECT_LT(ToolCategory::index(e.category), ToolCategory::kAll.size()) << e.category;
        if (i > 0) {
            EXPECT_LE(e.weight, model.toolEaters()[i - 1].weight) << e.category;
        }
    }
    ASSERT_TRUE(model.tip());
    const std::vector<ChatSummary> chats = model.topChats();

    // A refresh asked for anyway changes nothing.
    model.refresh();
    spin(50);
    EXPECT_EQ(published, 0);
    EXPECT_EQ(model.topChats(), chats);
}

TEST_F(AppModelTest, DemoSizeVariableSetsAndStoresOnlyAnExactSize) {
    struct Case {
        bool demo;
        const char* size;
        BoxSize expected;
        bool written;
    };
    const Case cases[] = {
        {true, "large", BoxSize::large, true},
        {true, "Large", BoxSize::small, false},
        {true, nullptr, BoxSize::small, false},
        {false, "large", BoxSize::small, false},
    };
    for (const Case& c : cases) {
        MemoryPreferences p;
        ASSERT_TRUE(p.setValue(QStringLiteral("floatingBoxSize"), QStringLiteral("small")));
        env = Environment();
        if (c.demo)
            env.set("VELLUMKITE_DEMO", "1");
        if (c.size)
            env.set("VELLUMKITE_DEMO_SIZE", c.size);
        AppModel::Services s = services();
        s.preferences = &p;
        AppModel model(s);
        EXPECT_EQ(model.demoMode(), c.demo);
        EXPECT_EQ(model.boxSize(), c.expected) << (c.size ? c.size : "unset");
        EXPECT_EQ(p.writes().size(), c.written ? 2 : 1);
        EXPECT_EQ(p.value(QStringLiteral("floatingBoxSize")).toString().toStdString(),
                  BoxSizes::raw(c.expected));
    }
}

} // namespace

TEST_F(AppModelTest, AWindowOnPaceToRunOutNotifiesOncePerInstance) {
    // A steady burn, and the status line's readings of a window that resets in two hours: 0 %
    // 130 minutes ago, 5 points more every ten minutes, 60 % ten minutes ago. At that pace the
    // 40 points left take 80 minutes: full at 13:10, 50 minutes before the reset.
    for (int m = 180; m >= 1; --m)
        addReply("steady", kNoon - std::chrono::minutes(m), 1000);
    std::string journal;
    const auto reading = [&](Instant at, double percent, Instant resetsAt) {
        journal += LimitReading{at, {{"five_hour", percent, resetsAt}}}.line();
        writeFile(dir / "limit-readings.jsonl", journal);
        writeLimits(percent, resetsAt);
    };
    for (int k = 0; k <= 12; ++k)
        reading(kNoon - 130min + k * 10min, 5 * k, kNoon + 2h);
    AppModel model(services());
    int published = 0;
    QObject::connect(&model, &AppModel::published, [&] { ++published; });
    const auto pass = [&] {
        const int before = published;
        model.refresh();
        return waitUntil([&] { return published == before + 1; });
    };
    ASSERT_TRUE(waitUntil([&] { return published == 1; }));
    ASSERT_EQ(center.posts.size(), 1u);
    const QString key = "limit.pace|" + QString::number(toUnixSeconds(kNoon + 2h), 'f', 0);
    EXPECT_EQ(center.posts[0].identifier, key);
    EXPECT_EQ(center.posts[0].title, "On pace to hit the limit at 13:10");
    EXPECT_FALSE(center.posts[0].sound);

    // More readings of the same instance, its reset wobbling by seconds: said once.
    setNow(kNoon + 5min);
    reading(kNoon + 4min, 64, kNoon + 2h + 20s);
    ASSERT_TRUE(pass());
    ASSERT_TRUE(model.tip());
    EXPECT_EQ(model.tip()->rule, "limit.pace");
    EXPECT_EQ(center.posts.size(), 1u);

    // The window resets and the next one runs out early too: said again.
    setNow(kNoon + 3h + 20min);
    for (int k = 0; k <= 3; ++k)
        reading(kNoon + 2h + 30min + k * 15min, 10 * k, kNoon + 7h);
    ASSERT_TRUE(pass());
    ASSERT_EQ(center.posts.size(), 2u);
    EXPECT_EQ(center.posts[1].identifier,
              "limit.pace|" + QString::number(toUnixSeconds(kNoon + 7h), 'f', 0));
    // 0 % to 30 % in 45 minutes: the 70 points left take 105 minutes from 15:15.
    EXPECT_EQ(center.posts[1].title, "On pace to hit the limit at 17:00");
}

TEST_F(AppModelTest, SyncTakesTheOtherMachineInAndPublishesAtMostEveryTenMinutesAndAtQuit) {
    const auto folder = dir / "Sync";
    std::filesystem::create_directories(folder);
    // The other machine: a history of its own, published into the folder.
    {
        auto opened = HistoryDatabase::open(dir / "desktop/history.sqlite3");
        ASSERT_TRUE(opened.db);
        History desktop(std::move(*opened.db));
        Reply r;
        r.messageId = "desk1";
        r.timestamp = Timestamp::format(kNoon - 30min);
        r.input = 500;
        writeFile(dir / "desktop/logs/p/d.jsonl", replyLine(r) + "\n");
        ASSERT_TRUE(HistoryUpdate::run(desktop, {dir / "desktop/logs"}));
        ASSERT_EQ(SyncPublish::run(desktop.database(), {MachineIdentity::newId(), "desktop"},
                                   folder, kNoon)
                      .status,
                  SyncPublish::Status::published);
    }
    ASSERT_TRUE(prefs.set(PreferenceKeys::syncFolder, QString::fromStdString(folder.string())));
    addReply("a", kNoon - 5min, 1000);
    std::filesystem::path own;
    const auto ownReplies = [&] {
        auto db = SqliteDatabase::open(own, SqliteDatabase::Mode::readOnly);
        return db ? db->queryInteger("SELECT count(*) FROM replies").value_or(-1) : -1;
    };
    {
        AppModel model(services());
        const Tally tally(model);
        ASSERT_TRUE(waitUntil([&] { return tally.published == 1; }));
        ASSERT_EQ(model.sync().machines.size(), 2u) << model.sync().problem;
        EXPECT_TRUE(model.sync().machines[0].self);
        EXPECT_EQ(model.sync().machines[1].name, "desktop");
        own = folder / SyncFolder::fileName(model.sync().machines[0].id);
        EXPECT_EQ(ownReplies(), 1);
        EXPECT_EQ(std::filesystem::status(own).permissions() & std::filesystem::perms::all,
                  std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);

        // The History window counts both machines, or this one alone.
        model.watchHistory(true);
        ASSERT_TRUE(waitUntil([&] { return tally.historyAnswers == 1; }));
        EXPECT_EQ(model.history()->days.back().usage.replies, 2);
        EXPECT_EQ(model.history()->otherMachines, 1);
        model.setHistoryAllMachines(false);
        ASSERT_TRUE(waitUntil([&] { return tally.historyAnswers == 2; }, 3000));
        EXPECT_EQ(model.history()->days.back().usage.replies, 1);

        // New lines a minute later wait for the ten minutes to pass.
        addReply("a", kNoon - 4min, 1000);
        setNow(kNoon + 1min);
        model.refresh();
        ASSERT_TRUE(waitUntil([&] { return tally.published == 2; }));
        EXPECT_EQ(ownReplies(), 1);
        setNow(kNoon + 11min);
        model.refresh();
        ASSERT_TRUE(waitUntil([&] { return tally.published == 3; }));
        EXPECT_EQ(ownReplies(), 2);

        // Read, but not yet due: the quit takes it out.
        addReply("a", kNoon - 3min, 1000);
        setNow(kNoon + 12min);
        model.refresh();
        ASSERT_TRUE(waitUntil([&] { return tally.published == 4; }));
        EXPECT_EQ(ownReplies(), 2);
    }
    EXPECT_EQ(ownReplies(), 3);
}
