#include "Notifier.hpp"

#include "MemoryPreferences.hpp"
#include "NotificationCenter.hpp"
#include "PreferencesStore.hpp"

#include <gtest/gtest.h>
#include <QTemporaryDir>
#include <QVariantMap>

using namespace vellumkite;

namespace {

struct Posted {
    QString identifier, title, body;
    bool sound;
    bool operator==(const Posted&) const = default;
};

class RecordingCenter : public NotificationCenter {
public:
    std::vector<Posted> posts;
    void post(const QString& identifier, const QString& title, const QString& body,
              bool sound) override {
        posts.push_back({identifier, title, body, sound});
    }
};

// Counts reads too, to show that a notifier without a centre never looks.
class WatchedPreferences : public MemoryPreferences {
public:
    mutable int reads = 0;
    QVariant value(const QString& key) const override {
        ++reads;
        return MemoryPreferences::value(key);
    }
};

Tip keyed(std::string rule, std::optional<std::string> key, Tip::Level level = Tip::Level::warn) {
    Tip tip;
    tip.rule = rule;
    tip.level = level;
    tip.title = "Title of " + rule;
    tip.text = "Text of " + rule;
    tip.notifyKey = std::move(key);
    return tip;
}

const QString kFired = QStringLiteral("firedNotifications");
const double kStart = 1'750'000'000;

class NotifierTest : public ::testing::Test {
protected:
    WatchedPreferences prefs;
    RecordingCenter center;
    Instant now = fromUnixSeconds(kStart);
    Notifier notifier{prefs, &center, [this] { return now; }};

    QVariantMap fired() const { return prefs.MemoryPreferences::value(kFired).toMap(); }
    void advance(double seconds) { now = addSeconds(now, seconds); }
};

TEST_F(NotifierTest, WithoutACentreNothingIsReadOrWritten) {
    ASSERT_TRUE(prefs.setValue(kFired, QVariantMap{{QStringLiteral("old"), kStart - 90000}}));
    Notifier silent(prefs, nullptr, [this] { return now; });
    silent.consider({keyed("chat.hard", "chat.hard|s1", Tip::Level::alert)});
    EXPECT_EQ(prefs.reads, 0);
    EXPECT_EQ(prefs.writes().size(), 1); // only the one made above
}

TEST_F(NotifierTest, EveryCallPrunesAndWritesBackEvenWithNoTips) {
    ASSERT_TRUE(prefs.setValue(kFired, QVariantMap{{QStringLiteral("old"), kStart - 25 * 3600},
                                                   {QStringLiteral("exactly"), kStart - 24 * 3600},
                                                   {QStringLiteral("recent"), kStart - 3600}}));
    notifier.consider({});
    EXPECT_TRUE(center.posts.empty());
    EXPECT_EQ(fired(), (QVariantMap{{QStringLiteral("recent"), kStart - 3600}}));
    EXPECT_EQ(prefs.writes().size(), 2);
}

TEST_F(NotifierTest, PostsTheFirstFreshTipAndMarksEveryFreshKey) {
    // A clock that moves on with every reading: each key is stamped when it is marked.
    int readings = 0;
    Notifier ticking(prefs, &center, [&] { return fromUnixSeconds(kStart + readings++); });
    const std::vector<Tip> tips = {keyed("a", "a"), keyed("b", std::nullopt), keyed("c", "c")};

    ticking.consider(tips);
    ASSERT_EQ(center.posts.size(), 1u);
    EXPECT_EQ(center.posts[0], (Posted{QStringLiteral("a"), QStringLiteral("Title of a"),
                                       QStringLiteral("Text of a"), false}));
    const QVariantMap record = fired();
    EXPECT_EQ(record.keys(), (QStringList{QStringLiteral("a"), QStringLiteral("c")}));
    EXPECT_EQ(record.value(QStringLiteral("a")).typeId(), QMetaType::Double);
    EXPECT_LT(record.value(QStringLiteral("a")).toDouble(),
              record.value(QStringLiteral("c")).toDouble());

    ticking.consider(tips);
    ticking.consider({keyed("c", "c", Tip::Level::alert)});
    EXPECT_EQ(center.posts.size(), 1u); // c was marked with a and never notifies while it lasts
}

TEST_F(NotifierTest, AKeyNotifiesAgainOnlyAfter24Hours) {
    const std::vector<Tip> tips = {keyed("limit.pace", "limit.pace|1750003600")};
    notifier.consider(tips);
    ASSERT_EQ(center.posts.size(), 1u);

    advance(23 * 3600 + 59 * 60);
    notifier.consider(tips);
    EXPECT_EQ(center.posts.size(), 1u);

    advance(60); // exactly 24 hours: the entry is dropped
    notifier.consider(tips);
    EXPECT_EQ(center.posts.size(), 2u);
    EXPECT_EQ(fired().value(QStringLiteral("limit.pace|1750003600")).toDouble(),
              toUnixSeconds(now));
}

TEST_F(NotifierTest, AKeyForAWholeWindowLastsUntilItsReset) {
    // A week's window on pace to fill: once for the instance, not once a day.
    Tip week = keyed("limit.full.seven_day", "limit.full|seven_day|1750259200");
    week.notifyUntil = addSeconds(now, 72 * 3600);
    // One that ends sooner than a day is still kept the day.
    Tip soon = keyed("soon", "soon");
    soon.notifyUntil = addSeconds(now, 3600);
    notifier.consider({week});
    notifier.consider({soon});
    ASSERT_EQ(center.posts.size(), 2u);

    advance(23 * 3600);
    notifier.consider({week, soon});
    EXPECT_EQ(center.posts.size(), 2u);
    advance(2 * 3600);
    notifier.consider({week});
    EXPECT_EQ(center.posts.size(), 2u);
    EXPECT_FALSE(fired().contains(QStringLiteral("soon")));
    advance(46 * 3600 + 59 * 60);
    notifier.consider({week});
    EXPECT_EQ(center.posts.size(), 2u);
    advance(60); // the reset: a new instance would have a new key anyway
    notifier.consider({week});
    EXPECT_EQ(center.posts.size(), 3u);
}

TEST_F(NotifierTest, OnlyAlertTipsMakeASound) {
    notifier.consider({keyed("i", "i", Tip::Level::info)});
    notifier.consider({keyed("w", "w", Tip::Level::warn)});
    notifier.consider({keyed("x", "x", Tip::Level::alert)});
    ASSERT_EQ(center.posts.size(), 3u);
    EXPECT_FALSE(center.posts[0].sound);
    EXPECT_FALSE(center.posts[1].sound);
    EXPECT_TRUE(center.posts[2].sound);
}

TEST_F(NotifierTest, ARecordWithAnythingButNumbersIsDiscardedWhole) {
    const QVariant malformed[] = {
        QVariantMap{{QStringLiteral("a"), kStart}, {QStringLiteral("b"), QStringLiteral("x")}},
        QVariantMap{{QStringLiteral("a"), kStart}, {QStringLiteral("b"), true}},
        QVariantMap{{QStringLiteral("a"), kStart}, {QStringLiteral("b"), QVariantMap()}},
        QVariant(QStringLiteral("a")),
        QVariant(QVariantList{kStart}),
    };
    for (const QVariant& stored : malformed) {
        SCOPED_TRACE(stored.typeName());
        center.posts.clear();
        ASSERT_TRUE(prefs.setValue(kFired, stored));
        notifier.consider({keyed("a", "a")});
        ASSERT_EQ(center.posts.size(), 1u);
        EXPECT_EQ(fired().keys(), QStringList{QStringLiteral("a")});
    }
}

TEST(NotifierStoreTest, FiredKeysLastAcrossARestart) {
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/preferences.json");
    RecordingCenter center;
    Instant now = fromUnixSeconds(kStart);
    const std::vector<Tip> tips = {keyed("chat.hard", "chat.hard|s1", Tip::Level::alert)};
    {
        PreferencesStore store(path);
        Notifier(store, &center, [&] { return now; }).consider(tips);
    }
    now = addSeconds(now, 3600);
    PreferencesStore store(path);
    Notifier(store, &center, [&] { return now; }).consider(tips);
    EXPECT_EQ(center.posts.size(), 1u);
}

} // namespace
