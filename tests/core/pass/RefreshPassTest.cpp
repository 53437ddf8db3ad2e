#include "RefreshPass.hpp"

#include "CoachInput.hpp"
#include "Format.hpp"
#include "LogLines.hpp"
#include "Preferences.hpp"
#include "SnapshotJson.hpp"
#include "StoreFixture.hpp"

#include <gtest/gtest.h>
#include <limits>

using namespace vellumkite;
using namespace vellumkite::testing;
using namespace std::chrono_literals;

namespace {

class RefreshPassTest : public StoreFixture {
protected:
    MapPreferences prefs;
    RefreshPass::Inputs inputs;
    int serial = 0;

    void SetUp() override {
        inputs.limitsFile = dir / "statusline.json";
        inputs.preferences = &prefs;
        inputs.environment = Environment();
        inputs.clock = [this] { return now; };
        inputs.timeOfDay = [](Instant t) { return Timestamp::format(t).substr(11, 5); };
    }

    void addReply(const std::string& session, Instant t, std::int64_t input,
                  const char* cwd = "/home/you/p") {
        Reply r;
        r.messageId = "m" + std::to_string(++serial);
        r.sessionId = session;
        r.timestamp = Timestamp::format(t);
        r.input = input;
        r.output = 0;
        r.cwd = cwd;
        appendFile(logs / (session + ".jsonl"), replyLine(r) + "\n");
    }
    void writeLimits(double fiveHourPercent, Instant resetsAt) {
        writeFile(inputs.limitsFile,
                  R"({"rate_limits":{"five_hour":{"used_percentage":)" +
                      std::to_string(fiveHourPercent) + R"(,"resets_at":)" +
                      std::to_string(toUnixSeconds(resetsAt)) +
                      R"(},"seven_day":{"used_percentage":18,"resets_at":1e10}}})");
    }
};

} // namespace

TEST_F(RefreshPassTest, NoLogsAndNoLimitsGiveAQuietSnapshot) {
    const Snapshot s = RefreshPass::run(store, inputs);
    EXPECT_FALSE(s.limits);
    EXPECT_FALSE(s.currentChat);
    EXPECT_TRUE(s.topChats.empty());
    EXPECT_TRUE(s.toolEaters.empty());
    EXPECT_EQ(s.todayWeight, 0);
    EXPECT_EQ(s.burnPerMin, 0);
    EXPECT_EQ(s.sparkline, std::vector<double>(30, 0.0));
    ASSERT_EQ(s.tips.size(), 1u);
    EXPECT_EQ(s.tips[0].rule, "ok");
    EXPECT_EQ(s.tips[0].title, "All quiet");
    EXPECT_EQ(menuTitle(true, s), "\u2013");
    EXPECT_EQ(menuTitle(false, s), "\u2026");
}

TEST_F(RefreshPassTest, SparklineBucketsByWholeMinutesOfAge) {
    addReply("a", now - 30s, 1);
    addReply("a", now + 45s, 2);
    addReply("a", now + 5min, 4); // a clock set ahead: counted now rather than lost
    addReply("a", now - 29min - 59s, 8);
    addReply("a", now - 1800s, 16);
    addReply("a", now - 1800s - 1ms, 32);
    addReply("a", now - 61s, 64);
    const Snapshot s = RefreshPass::run(store, inputs);
    ASSERT_EQ(s.sparkline.size(), 30u);
    EXPECT_EQ(s.sparkline[29], 1 + 2 + 4);
    EXPECT_EQ(s.sparkline[28], 64);
    EXPECT_EQ(s.sparkline[0], 8 + 16);
    double sum = 0;
    for (double v : s.sparkline)
        sum += v;
    EXPECT_EQ(sum, 1 + 2 + 4 + 8 + 16 + 64);
}

TEST_F(RefreshPassTest, PublishesTheTopFiveButWeighsTheWholeDay) {
    for (int i = 0; i < 7; ++i)
        addReply("s" + std::to_string(i), now - std::chrono::minutes(10 + i), 1000 * (i + 1));
    addReply("yesterday", at("2025-02-28T12:00:00.000Z"), 1000000);
    const Snapshot s = RefreshPass::run(store, inputs);
    ASSERT_EQ(s.topChats.size(), 5u);
    EXPECT_EQ(s.topChats[0].sessionId, "s6");
    EXPECT_EQ(s.topChats[4].sessionId, "s2");
    EXPECT_DOUBLE_EQ(s.todayWeight, 28000);
    ASSERT_TRUE(s.currentChat);
    EXPECT_EQ(s.currentChat->sessionId, "s0");
    EXPECT_EQ(menuTitle(true, s), "1k");
}

TEST_F(RefreshPassTest, TitleShowsTheFiveHourReadingRoundedHalfAway) {
    addReply("a", now - 1min, 86000);
    writeLimits(34.5, now + 2h);
    Snapshot s = RefreshPass::run(store, inputs);
    ASSERT_TRUE(s.limits && s.limits->fiveHour);
    EXPECT_EQ(menuTitle(true, s), "35%");
    s.limits->fiveHour->usedPercent = 12.49;
    EXPECT_EQ(menuTitle(true, s), "12%");
    s.limits->fiveHour->usedPercent = std::numeric_limits<double>::infinity();
    EXPECT_EQ(menuTitle(true, s), Format::kNoValue);
    s.limits->fiveHour.reset(); // a weekly reading alone: the chat size stands in
    EXPECT_EQ(menuTitle(true, s), "86k");
}

TEST_F(RefreshPassTest, ThresholdsAreReadAfreshOnEveryPass) {
    addReply("a", now - 1min, 120000);
    EXPECT_EQ(RefreshPass::run(store, inputs).tips[0].rule, "ok");
    prefs.set("chatSoft", PrefValue{100000.0});
    EXPECT_EQ(RefreshPass::run(store, inputs).tips[0].rule, "chat.soft");
    inputs.environment.set("VELLUMKITE_CHAT_SOFT", "130000"); // the environment wins
    EXPECT_EQ(RefreshPass::run(store, inputs).tips[0].rule, "ok");
}

TEST_F(RefreshPassTest, CoachWeighsTheCurrentFiveHourWindow) {
    // The window resets at 15:00, so it began at 10:00.
    addReply("a", at("2025-03-01T09:59:59.000Z"), 500000);
    addReply("a", at("2025-03-01T10:00:00.000Z"), 20000);
    addReply("a", now - 1min, 30000);
    store.refresh();
    Limits limits;
    limits.fiveHour = Limits::Window{50, at("2025-03-01T15:00:00.000Z")};
    const CoachInput in = RefreshPass::coachInput(store, limits, now);
    ASSERT_TRUE(in.fiveHour);
    EXPECT_DOUBLE_EQ(in.fiveHourWeight, 50000);
    EXPECT_DOUBLE_EQ(in.todayWeight, 550000);
    EXPECT_DOUBLE_EQ(in.burnPerMin, 30000.0 / 15);
    limits.fiveHour.reset();
    const CoachInput weekly = RefreshPass::coachInput(store, limits, now);
    EXPECT_FALSE(weekly.fiveHour);
    EXPECT_EQ(weekly.fiveHourWeight, 0);

    // 50 % used, 50 000 spent so far at 2 000 a minute: full in 25 minutes, before the reset.
    writeLimits(50, at("2025-03-01T15:00:00.000Z"));
    const Snapshot s = RefreshPass::run(store, inputs);
    ASSERT_EQ(s.tips.size(), 1u);
    EXPECT_EQ(s.tips[0].rule, "limit.pace");
    EXPECT_EQ(s.tips[0].title, "On pace to hit the limit at 12:25");
}

TEST_F(RefreshPassTest, TheNextMessageIsItsChatsLastFewRepliesInPercentOfTheWindow) {
    // The current chat's last five replies weigh 1,000 to 5,000: 3,000 on average. An older
    // reply of the chat and one of another chat do not count.
    addReply("a", now - 50min, 90000);
    for (int i = 1; i <= 5; ++i)
        addReply("a", now - std::chrono::minutes(10 - i), 1000 * i);
    addReply("b", now - 30min, 70000);
    Snapshot s = RefreshPass::run(store, inputs);
    EXPECT_FALSE(s.percentPerMessage) << "not known before the kept readings say";
    EXPECT_TRUE(s.projections.empty());

    // 2,500 weight a percent: 1.2 % a message. The window resets in two hours, rising a point
    // every four minutes: 40 % four minutes ago, 60 points to go in 240 minutes.
    LimitRecord record;
    record.calibration["five_hour"].add({now - 3h, now - 2h, 10}, 25000, 0.1);
    record.calibration["five_hour"].add({now - 2h, now - 1h, 10}, 25000, 0.1);
    record.calibration["five_hour"].add({now - 1h, now - 30min, 10}, 25000, 0.1);
    record.latest.push_back(
        {"five_hour", now + 2h, {{now - 8min, 39, now + 2h}, {now - 4min, 40, now + 2h}}});
    inputs.limitRecord = &record;
    s = RefreshPass::run(store, inputs);
    ASSERT_TRUE(s.percentPerMessage);
    EXPECT_DOUBLE_EQ(*s.percentPerMessage, 1.2);
    ASSERT_EQ(s.projections.size(), 1u);
    EXPECT_EQ(s.projections[0].fullAt, std::nullopt) << "full after the reset";
    record.latest[0].readings[0].percent = 30; // ten points in four minutes
    s = RefreshPass::run(store, inputs);
    EXPECT_EQ(s.projections[0].fullAt, now - 4min + 24min);
    EXPECT_NE(SnapshotJson::full(s).find(",\"percentPerMessage\":1.2}"), std::string::npos);
    EXPECT_NE(SnapshotJson::waybar(s, "").find(",\"percentPerMessage\":1.2}"), std::string::npos);
}

TEST(SnapshotTest, LooksTheSameWhileNoFigureAndNoMinuteOfATimeToldChanges) {
    const Instant t0 = StoreFixture::at("2025-03-01T12:00:00.000Z");
    Snapshot s;
    s.currentChat = ChatSummary{"s", "/p", t0 - 90s, 1, 100, 1.0, 5};
    s.topChats = {*s.currentChat, ChatSummary{"u", "/q", t0 - 20s, 1, 100, 1.0, 5}};
    s.limits = Limits{};
    s.limits->sevenDay = Limits::Window{18, t0 + 3h + 30s};
    EXPECT_TRUE(s.looksSame(s, t0, t0 + 5s));
    Snapshot other = s;
    other.todayWeight = 2;
    EXPECT_FALSE(s.looksSame(other, t0, t0));
    // "1m ago" stays so until 12:00:30, "0m" of the second chat until 12:00:40, and the weekly
    // limit resets in 3h 0m until 12:00:30.
    EXPECT_TRUE(s.looksSame(s, t0, t0 + 29s));
    EXPECT_FALSE(s.looksSame(s, t0, t0 + 31s));
    s.currentChat->lastTime = s.topChats[0].lastTime = t0 - 61s;
    EXPECT_TRUE(s.looksSame(s, t0 + 10s, t0 + 29s));
    EXPECT_FALSE(s.looksSame(s, t0 + 29s, t0 + 35s)) << "the weekly limit's minute moved";
    s.limits.reset();
    EXPECT_TRUE(s.looksSame(s, t0 + 29s, t0 + 35s));
    EXPECT_FALSE(s.looksSame(s, t0 + 35s, t0 + 41s)) << "the second chat is a minute old";
    // Times too far apart to count in minutes never look the same.
    s.topChats[1].lastTime = kDistantPast;
    EXPECT_FALSE(s.looksSame(s, t0, t0));
}
