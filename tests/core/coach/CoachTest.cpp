#include "Coach.hpp"

#include "Format.hpp"

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include <limits>
#include <optional>
#include <string>

using namespace vellumkite;
using namespace std::chrono_literals;

namespace {

const Instant kNow = fromUnixSeconds(1'750'000'000); // 15:06:40 UTC
const double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::nan("");
const std::string kDash(Format::kNoValue);

// UTC "HH:MM", so expected texts do not depend on the machine's zone. It refuses the ends of the
// Instant range, which the coach must never hand it.
std::string utcTime(Instant t) {
    if (t == kDistantPast || t == kDistantFuture)
        throw std::logic_error("asked to format a time out of range");
    const auto s = std::chrono::floor<std::chrono::seconds>(t).time_since_epoch().count();
    const auto day = ((s % 86400) + 86400) % 86400;
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02d:%02d", static_cast<int>(day / 3600),
                  static_cast<int>(day % 3600 / 60));
    return buf;
}

CoachInput withChat(std::int64_t size, Instant lastTime = kNow, std::string session = "s1") {
    CoachInput in;
    in.now = kNow;
    in.currentChat = ChatSummary{std::move(session), "/p", lastTime, 1, size, 0, 0};
    return in;
}

CoachInput withWindow(double used, Instant resetsAt = kNow + 2h, double fiveHourWeight = 0,
                      double burnPerMin = 0) {
    CoachInput in;
    in.now = kNow;
    in.fiveHour = Limits::Window{used, resetsAt};
    in.fiveHourWeight = fiveHourWeight;
    in.burnPerMin = burnPerMin;
    return in;
}

std::vector<Tip> tipsFor(const CoachInput& in, const Thresholds& th = {}) {
    return Coach::tips(in, th, utcTime);
}

std::vector<std::string> rules(const std::vector<Tip>& tips) {
    std::vector<std::string> out;
    for (const Tip& t : tips)
        out.push_back(t.rule);
    return out;
}

using Rules = std::vector<std::string>;

// The one tip of a limit rule about the 5-hour window that resets at kNow + 2h (17:06).
std::vector<Tip> limitTip(const std::string& rule, Tip::Level level, std::string title,
                          std::string text) {
    return {{rule, level, std::move(title), std::move(text), rule + "|1750007200"}};
}

} // namespace

TEST(CoachTest, NothingToSayGivesOneReassuringTip) {
    CoachInput empty;
    empty.now = kNow;
    EXPECT_EQ(tipsFor(empty),
              (std::vector<Tip>{{"ok", Tip::Level::info, "All quiet",
                                 "One task per chat keeps it that way.", std::nullopt}}));
    const auto healthy = tipsFor(withChat(149'999));
    ASSERT_EQ(rules(healthy), Rules{"ok"});
    EXPECT_EQ(healthy[0].title, "Healthy chat size");
    EXPECT_EQ(healthy[0].text, "One task per chat keeps it that way.");
}

TEST(CoachTest, ChatSizeTipsSwitchAtSoftAndHard) {
    const auto soft = tipsFor(withChat(150'000));
    EXPECT_EQ(soft,
              (std::vector<Tip>{{"chat.soft", Tip::Level::warn, "Chat getting long (150k)",
                                 "Finish this task, then say \"wrap up\" and start a new chat.",
                                 "chat.soft|s1"}}));
    EXPECT_EQ(rules(tipsFor(withChat(299'999))), Rules{"chat.soft"});

    const auto hard = tipsFor(withChat(300'000));
    EXPECT_EQ(hard,
              (std::vector<Tip>{{"chat.hard", Tip::Level::alert, "Very big chat (300k)",
                                 "Every message re-reads all of it. Say \"wrap up\" so Claude "
                                 "saves notes, then /clear and start fresh.",
                                 "chat.hard|s1"}}));
}

TEST(CoachTest, BigColdChatGetsBothTipsAndTheFirstIsBest) {
    const CoachInput in = withChat(350'000, kNow - 2h);
    const auto tips = tipsFor(in);
    ASSERT_EQ(rules(tips), (Rules{"chat.hard", "chat.idle"}));
    EXPECT_EQ(tips[0].title, "Very big chat (350k)");
    EXPECT_EQ(tips[1], (Tip{"chat.idle", Tip::Level::info, "This chat has gone cold",
                            "It's been idle over an hour, so the next message pays full price "
                            "for all 350k. Start a new chat instead.",
                            std::nullopt}));
    EXPECT_EQ(Coach::best(in, {}, utcTime), tips[0]);
}

TEST(CoachTest, ColdChatNeedsSizeAndTheFullIdleTime) {
    EXPECT_EQ(rules(tipsFor(withChat(40'000, kNow - 3h))), Rules{"ok"});
    EXPECT_EQ(rules(tipsFor(withChat(50'000, kNow - 60min))), Rules{"chat.idle"});
    EXPECT_EQ(rules(tipsFor(withChat(50'000, kNow - 59min - 59s))), Rules{"ok"});

    Thresholds quick;
    quick.idleMinutes = 5;
    const auto tips = tipsFor(withChat(60'000, kNow - 6min), quick);
    ASSERT_EQ(rules(tips), Rules{"chat.idle"});
    EXPECT_NE(tips[0].text.find("idle over an hour"), std::string::npos);
}

TEST(CoachTest, LimitTipsStartExactlyAtTheirThresholdsAndAlertsIgnoreThePace) {
    const auto tips = tipsFor(withWindow(92.6, kNow + 2h, 1'000'000, 1e9));
    EXPECT_EQ(tips, limitTip("limit.alert", Tip::Level::alert, "92% of your 5-hour limit",
                             "Save your work now and keep messages small. It resets at 17:06."));
    EXPECT_EQ(rules(tipsFor(withWindow(90))), Rules{"limit.alert"});
    EXPECT_EQ(rules(tipsFor(withWindow(89.99))), Rules{"limit.warn"});
    EXPECT_EQ(rules(tipsFor(withWindow(80))), Rules{"limit.warn"});
    EXPECT_EQ(rules(tipsFor(withWindow(79.99))), Rules{"ok"});
}

TEST(CoachTest, PaceWarningComparesTheProjectionWithTheReset) {
    // 1 000 000 weight for 50 %: the other half at 20 000 a minute lasts 50 minutes.
    const auto fast = tipsFor(withWindow(50, kNow + 2h, 1'000'000, 20'000));
    EXPECT_EQ(
        fast,
        limitTip(
            "limit.pace", Tip::Level::warn, "On pace to hit the limit at 15:56",
            "It resets at 17:06. Slow down: finish this task, /clear, and use smaller chats."));
    // At 5 000 a minute it lasts 200 minutes, past the reset, and 50 % is below the warning.
    EXPECT_EQ(rules(tipsFor(withWindow(50, kNow + 2h, 1'000'000, 5'000))), Rules{"ok"});
    // Filling up exactly at the reset is not a warning; a moment earlier is.
    EXPECT_EQ(rules(tipsFor(withWindow(50, kNow + 2h, 1'200'000, 10'000))), Rules{"ok"});
    EXPECT_EQ(rules(tipsFor(withWindow(50, kNow + 2h, 1'200'000, 10'001))), Rules{"limit.pace"});
    // No spending or no burn means nothing to project.
    EXPECT_EQ(rules(tipsFor(withWindow(50, kNow + 2h, 0, 20'000))), Rules{"ok"});
    EXPECT_EQ(rules(tipsFor(withWindow(50, kNow + 2h, 1'000'000, 0))), Rules{"ok"});
}

TEST(CoachTest, PaceTakesThePlaceOfThePlainWarning) {
    const auto slow = tipsFor(withWindow(85, kNow + 2h, 850'000, 100));
    EXPECT_EQ(slow, limitTip("limit.warn", Tip::Level::warn, "85% of your 5-hour limit",
                             "Plenty of room is gone. Keep chats short until it resets at 17:06."));
    EXPECT_EQ(rules(tipsFor(withWindow(85, kNow + 2h, 850'000, 10'000))), Rules{"limit.pace"});
}

TEST(CoachTest, ProjectionNeedsTenPercentSpent) {
    Thresholds low;
    low.limitWarn = 50; // the floor is fixed, not the warning threshold
    EXPECT_EQ(rules(tipsFor(withWindow(9.99, kNow + 2h, 1'000'000, 1e9), low)), Rules{"ok"});
    EXPECT_EQ(rules(tipsFor(withWindow(10, kNow + 2h, 1'000'000, 1e9), low)), Rules{"limit.pace"});
}

TEST(CoachTest, LimitKeysFollowOnlyTheResetTime) {
    const Instant reset = fromUnixSeconds(1'750'007'200.9);
    const auto first = tipsFor(withWindow(82, reset));
    CoachInput later = withWindow(87, reset);
    later.now = kNow + 30min;
    const auto second = tipsFor(later);
    ASSERT_EQ(rules(first), Rules{"limit.warn"});
    ASSERT_EQ(rules(second), Rules{"limit.warn"});
    EXPECT_EQ(first[0].notifyKey, second[0].notifyKey);
    EXPECT_EQ(first[0].notifyKey, "limit.warn|1750007200");
    EXPECT_EQ(tipsFor(withWindow(95, fromUnixSeconds(-1.5)))[0].notifyKey, "limit.alert|-1");
}

TEST(CoachTest, ToolTipsNeedAShareAndAdvice) {
    CoachInput in;
    in.now = kNow;
    in.todayWeight = 100'000;
    in.toolEaters = {{"File edits", 5, 0, 40'000, 0},
                     {"File reads", 3, 0, 30'000, 0},
                     {"Searches", 2, 0, 12'500, 0},
                     {"Web", 1, 0, 10'000, 0},
                     {"Terminal commands", 1, 0, 9'999, 0}};
    const auto tips = tipsFor(in);
    ASSERT_EQ(rules(tips), (Rules{"tool.File reads", "tool.Searches", "tool.Web"}));
    EXPECT_EQ(tips[0], (Tip{"tool.File reads", Tip::Level::info, "File reads: 30% of today",
                            std::string(Coach::adviceFor("File reads")), std::nullopt}));
    EXPECT_EQ(tips[1].title, "Searches: 13% of today"); // 12.5 rounds away from zero
    EXPECT_EQ(tips[2].title, "Web: 10% of today");
}

TEST(CoachTest, ToolShareNeverDividesByLessThanOne) {
    for (const double day : {0.0, 1.0, -500.0, kNaN}) {
        CoachInput in;
        in.now = kNow;
        in.todayWeight = day;
        in.toolEaters = {{"Web", 1, 0, 0.5, 0}};
        const auto tips = tipsFor(in);
        ASSERT_EQ(rules(tips), Rules{"tool.Web"}) << day;
        EXPECT_EQ(tips[0].title, "Web: 50% of today") << day;
    }
}

TEST(CoachTest, SoftThresholdOfZeroWithoutAChatUsesAHyphen) {
    Thresholds th;
    th.chatSoft = 0;
    CoachInput none;
    none.now = kNow;
    const auto tips = tipsFor(none, th);
    ASSERT_EQ(rules(tips), Rules{"chat.soft"});
    EXPECT_EQ(tips[0].title, "Chat getting long (0)");
    EXPECT_EQ(tips[0].notifyKey, "chat.soft|-");
}

TEST(CoachTest, RulesKeepTheirOrder) {
    CoachInput in = withChat(200'000, kNow - 2h, "abc");
    in.fiveHour = Limits::Window{95, kNow + 1h};
    in.todayWeight = 10;
    in.toolEaters = {{"Web", 1, 0, 8, 0}, {"File reads", 1, 0, 2, 0}};
    const auto tips = tipsFor(in);
    EXPECT_EQ(rules(tips),
              (Rules{"limit.alert", "chat.soft", "chat.idle", "tool.Web", "tool.File reads"}));
    EXPECT_EQ(Coach::best(in, {}, utcTime).rule, "limit.alert");
}

TEST(CoachTest, NumbersWithoutATextShowTheDash) {
    for (const double used : {kInf, 1e300}) {
        const auto tips = tipsFor(withWindow(used));
        ASSERT_EQ(rules(tips), Rules{"limit.alert"});
        EXPECT_EQ(tips[0].title, kDash + "% of your 5-hour limit");
    }
    // A NaN reading passes no comparison, even with a projection that would warn.
    EXPECT_EQ(rules(tipsFor(withWindow(kNaN, kNow + 2h, 1'000'000, 1e9))), Rules{"ok"});
    EXPECT_EQ(rules(tipsFor(withWindow(-kInf))), Rules{"ok"});

    // Reset times at the ends of the range are never given to the formatter.
    auto far = tipsFor(withWindow(95, kDistantFuture));
    EXPECT_EQ(far[0].text,
              "Save your work now and keep messages small. It resets at " + kDash + ".");
    EXPECT_EQ(far[0].notifyKey, "limit.alert|" + kDash);
    far = tipsFor(withWindow(50, kDistantFuture, 1'000'000, 20'000));
    ASSERT_EQ(rules(far), Rules{"limit.pace"});
    EXPECT_EQ(far[0].title, "On pace to hit the limit at 15:56");
    EXPECT_EQ(far[0].text.substr(0, 16), "It resets at " + kDash);
    EXPECT_EQ(tipsFor(withWindow(85, kDistantPast))[0].notifyKey, "limit.warn|" + kDash);

    // A projection of 0 × infinity has no time: fall back to the plain warning.
    Thresholds th;
    th.limitAlert = 200;
    EXPECT_EQ(rules(tipsFor(withWindow(100, kNow + 2h, kInf, 10), th)), Rules{"limit.warn"});

    CoachInput tools;
    tools.now = kNow;
    tools.todayWeight = 1;
    tools.toolEaters = {{"Web", 1, 0, kInf, 0}, {"Browser", 1, 0, kNaN, 0}};
    const auto toolTips = tipsFor(tools);
    ASSERT_EQ(rules(toolTips), Rules{"tool.Web"});
    EXPECT_EQ(toolTips[0].title, "Web: " + kDash + "% of today");
}

TEST(CoachTest, ExtremeTimesNeverThrow) {
    CoachInput in = withChat(400'000, kDistantPast);
    in.now = kDistantFuture;
    in.fiveHour = Limits::Window{50, kDistantFuture};
    in.fiveHourWeight = 1e308;
    in.burnPerMin = 1e-308;
    EXPECT_NO_THROW(tipsFor(in));
    EXPECT_NO_THROW(Coach::tips(in, {}, TimeOfDayFormatter{})); // an empty formatter falls back
}

TEST(CoachTest, AdviceOnlyForCategoriesInTheTable) {
    EXPECT_EQ(Coach::adviceFor("File reads"), "Whole files stay in the chat. Ask Claude to read "
                                              "only the lines it needs, or to search first.");
    EXPECT_EQ(Coach::adviceFor("Connectors"), "Connector results stay in the chat. Ask for smaller "
                                              "results (filters, fewer rows), or use a subagent.");
    for (const char* c :
         {"Browser", "Screen control", "iOS Simulator", "Searches", "Terminal commands", "Web"})
        EXPECT_FALSE(Coach::adviceFor(c).empty()) << c;
    for (const char* c : {"File edits", "Subagents", "Claude app tools", "Other tools", "", "web"})
        EXPECT_TRUE(Coach::adviceFor(c).empty()) << c;
}

TEST(CoachTest, DefaultTimeOfDayUsesTheProcessZone) {
    const char* old = std::getenv("TZ");
    const std::optional<std::string> saved = old ? std::optional<std::string>(old) : std::nullopt;
    const auto formatter = defaultTimeOfDay();

    ::setenv("TZ", "UTC0", 1);
    ::tzset();
    EXPECT_EQ(formatter(kNow), "15:06");
    ::setenv("TZ", "EST5", 1);
    ::tzset();
    EXPECT_EQ(formatter(kNow), "10:06");
    EXPECT_EQ(formatter(fromUnixSeconds(-1)), "18:59");
    EXPECT_NO_THROW(formatter(kDistantFuture));
    EXPECT_NO_THROW(formatter(kDistantPast));

    if (saved)
        ::setenv("TZ", saved->c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
}

namespace {

LimitProjection projection(std::string window, double percent, Instant resetsAt,
                           std::optional<Instant> fullAt) {
    return {std::move(window), percent, kNow - 5min, resetsAt, fullAt};
}

} // namespace

TEST(CoachTest, TheKeptReadingsProjectionDecidesThePaceAndItsNotification) {
    // Full at 16:36, 15 minutes before the 16:51 reset: worth a notification once per
    // instance, keyed by the reset its first reading gave (the live reading's wobbles by
    // seconds). Below 10 % too: the readings rose, so there is something to go by.
    CoachInput in = withWindow(8, kNow + 1h + 44min + 20s);
    in.projections = {projection("five_hour", 8, kNow + 1h + 45min, kNow + 1h + 30min)};
    auto t = tipsFor(in);
    ASSERT_EQ(t.front().rule, "limit.pace");
    EXPECT_EQ(t.front().title, "On pace to hit the limit at 16:36");
    EXPECT_EQ(t.front().notifyKey, "limit.pace|1750006300");
    EXPECT_FALSE(t.front().notifyUntil);
    // 14 minutes before the reset it is still said, but not notified.
    in.projections[0].fullAt = kNow + 1h + 31min;
    t = tipsFor(in);
    EXPECT_EQ(t.front().rule, "limit.pace");
    EXPECT_FALSE(t.front().notifyKey);
    // Full only after the reset, or nothing rising: no pace, whatever the old estimate says.
    in = withWindow(60, kNow + 2h, 60000, 2000);
    in.projections = {projection("five_hour", 60, kNow + 2h, std::nullopt)};
    EXPECT_EQ(rules(tipsFor(in)), std::vector<std::string>{"ok"});
    // The plain warning keys by the instance too.
    in.fiveHour->usedPercent = 85;
    EXPECT_EQ(tipsFor(in).front().notifyKey, "limit.warn|" + std::to_string(1'750'007'200));
}

TEST(CoachTest, AWeekOnPaceToFillWarnsOnceForTheWholeWeek) {
    CoachInput in;
    in.now = kNow;
    in.projections = {projection("seven_day", 70, kNow + 72h, kNow + 26h + 5min)};
    auto t = tipsFor(in);
    ASSERT_EQ(t.front().rule, "limit.full.seven_day");
    EXPECT_EQ(t.front().level, Tip::Level::warn);
    EXPECT_EQ(t.front().title, "On pace to hit the weekly limit in 26h 5m");
    EXPECT_EQ(t.front().text, "It resets in 3d 0h. Spread the work out: smaller chats, less tool "
                              "output in them.");
    EXPECT_EQ(t.front().notifyKey, "limit.full|seven_day|1750259200");
    EXPECT_EQ(t.front().notifyUntil, kNow + 72h);
    // Resetting first: nothing to say.
    in.projections[0].fullAt.reset();
    EXPECT_EQ(rules(tipsFor(in)), std::vector<std::string>{"ok"});
}

TEST(CoachTest, TokenTipsSayTheirShareOfTheLimitOnceAPercentIsKnown) {
    // 6,000 weight a message over 5,000 a percent: 1.2 % a message. Gone cold, the next message
    // writes all 200k to the cache again, 250,000 weight: 50 %.
    CoachInput in = withChat(200000, kNow - 2h);
    in.nextMessageWeight = 6000;
    EXPECT_FALSE(in.percentPerMessage());
    const auto before = tipsFor(in);
    in.weightPerPercent = 5000;
    EXPECT_DOUBLE_EQ(*in.percentPerMessage(), 1.2);
    const auto t = tipsFor(in);
    ASSERT_EQ(rules(t), (std::vector<std::string>{"chat.soft", "chat.idle"}));
    EXPECT_EQ(t[0].title, before[0].title);
    EXPECT_EQ(t[0].text, "Each message now takes \u2248 1.2 % of your 5-hour limit. Finish this "
                         "task, then say \"wrap up\" and start a new chat.");
    EXPECT_EQ(t[1].text, "It's been idle over an hour, so the next message pays full price for "
                         "all 200k (\u2248 50 % of your 5-hour limit). Start a new chat instead.");
    in.currentChat->size = 400000;
    EXPECT_EQ(tipsFor(in)[0].text, "Every message re-reads all of it (\u2248 1.2 % of your 5-hour "
                                   "limit each). Say \"wrap up\" so Claude saves notes, then "
                                   "/clear and start fresh.");

    EXPECT_EQ(Format::percentApprox(0.04), "< 0.1 %");
    EXPECT_EQ(Format::percentApprox(0.95), "\u2248 1.0 %");
    EXPECT_EQ(Format::percentApprox(9.96), "\u2248 10 %");
    EXPECT_EQ(Format::percentApprox(kNaN), kDash);
}
