#include "HistoryOverview.hpp"

#include "History.hpp"
#include "HistoryDatabase.hpp"
#include "HistoryQuery.hpp"
#include "LogLines.hpp"
#include "PriceTable.hpp"
#include "TempDir.hpp"
#include "Timestamp.hpp"
#include "TurnParser.hpp"
#include "ZoneGuard.hpp"

#include <gtest/gtest.h>

using namespace vellumkite;
using namespace vellumkite::testing;

namespace {

Instant at(const char* text) {
    return *Timestamp::parse(text);
}

std::string dayAndTime(Instant t) {
    const std::time_t secs = std::chrono::floor<std::chrono::seconds>(t).time_since_epoch().count();
    std::tm local{};
    localtime_r(&secs, &local);
    char text[32];
    std::strftime(text, sizeof text, "%a %H:%M", &local);
    return text;
}

} // namespace

TEST(HistoryOverviewTest, FamiliesComeFromThePriceBookNotFromTheId) {
    using F = HistoryOverview::Family;
    const PriceTable book = PriceTable::builtIn();
    const auto family = [&](const char* model) {
        return HistoryOverview::familyNamed(book.family(model));
    };
    EXPECT_EQ(family("claude-opus-4-5-20251101"), F::opus);
    EXPECT_EQ(family("claude-3-5-haiku-20241022"), F::haiku);
    EXPECT_EQ(family("claude-sonnet-5-5[1m]"), F::sonnet);
    EXPECT_EQ(book.family("claude-fable-5-1"), "Fable");
    EXPECT_EQ(family("claude-fable-5-1"), F::fable) << "a colour of its own in the chart";
    EXPECT_EQ(family("claude-opus-9"), F::other) << "not in the book: never guessed";
    EXPECT_EQ(family("<synthetic>"), F::other);
    EXPECT_EQ(HistoryOverview::nameOf(F::haiku), "Haiku");
}

// Berlin moved its clocks on Sunday 2026-03-29: a week that spans the change.
TEST(HistoryOverviewTest, ThisWeekAgainstTheSamePointOfLastWeekAcrossAClockChange) {
    ZoneGuard zone("Europe/Berlin");
    TempDir dir;
    auto opened = HistoryDatabase::open(dir / "h.sqlite3");
    History history(std::move(*opened.db));
    struct R {
        const char* time;
        std::int64_t input;
        const char* model;
        const char* project;
    };
    // Now is Tuesday 12:00 summer time; the same point last week was Tuesday 12:00 winter time,
    // 11:00 UTC, not the 10:00 UTC of seven times 24 hours.
    const R replies[] = {
        {"2026-03-23T08:00:00.000Z", 100, "claude-opus-4-5", "/a"},    // last Monday
        {"2026-03-24T10:30:00.000Z", 200, "claude-opus-4-5", "/a"},    // before last week's point
        {"2026-03-24T11:30:00.000Z", 400, "claude-opus-4-5", "/b"},    // after it
        {"2026-03-29T21:30:00.000Z", 50, "claude-opus-4-5", "/b"},     // Sunday 23:30
        {"2026-03-29T22:30:00.000Z", 1000, "claude-opus-4-5", "/a"},   // Monday 00:30
        {"2026-03-31T09:00:00.000Z", 2000, "claude-sonnet-4-5", "/b"}, // today
        {"2026-02-27T09:00:00.000Z", 7000, "claude-opus-4-5", "/c"},   // 32 days ago
    };
    int n = 0;
    for (const auto& r : replies) {
        Reply line;
        line.messageId = "m" + std::to_string(n++);
        line.timestamp = r.time;
        line.input = r.input;
        line.output = 0;
        line.model = r.model;
        line.cwd = r.project;
        history.take(*TurnParser::parse(replyLine(line)));
    }
    ASSERT_TRUE(history.commit());
    const Instant now = at("2026-03-31T10:00:00.000Z");
    EXPECT_EQ(HistoryOverview::weekBefore(now), at("2026-03-24T11:00:00.000Z"));

    const auto o = HistoryOverview::build(HistoryQuery(history.database()), PriceTable::builtIn(),
                                          now, std::nullopt, dayAndTime);
    ASSERT_TRUE(o);
    EXPECT_DOUBLE_EQ(o->thisWeek.weight, 3000);
    EXPECT_DOUBLE_EQ(o->lastWeek.weight, 300);
    EXPECT_DOUBLE_EQ(*o->weightChange, 900);
    EXPECT_DOUBLE_EQ(*o->thisWeek.cost, (1000 * 5 + 2000 * 3) / 1e6);
    EXPECT_DOUBLE_EQ(*o->costChange, ((1000 * 5 + 2000 * 3) / 300.0 / 5 - 1) * 100);

    ASSERT_EQ(o->days.size(), 30u);
    EXPECT_EQ(o->days.front().date.text(), "2026-03-02");
    EXPECT_EQ(o->days.back().date.text(), "2026-03-31");
    EXPECT_DOUBLE_EQ(o->days[29].weight[static_cast<std::size_t>(HistoryOverview::Family::sonnet)],
                     2000);
    EXPECT_DOUBLE_EQ(o->days[27].totalWeight(), 50) << "Sunday 23:30 in summer time";
    EXPECT_DOUBLE_EQ(o->days[28].totalWeight(), 1000);
    // Days with usage: 100, 600, 50, 1000, 2000.
    EXPECT_DOUBLE_EQ(o->medianWeight, 600);

    EXPECT_EQ(o->monthName, "2026-03");
    ASSERT_EQ(o->topProjects.size(), 2u) << "February's reply is not this month's";
    EXPECT_EQ(o->topProjects[0].name, "/b");
    EXPECT_DOUBLE_EQ(o->topProjects[0].weight, 2450);
    EXPECT_DOUBLE_EQ(o->topProjects[0].share, 2450.0 / 3750);
    ASSERT_EQ(o->topModels.size(), 2u);
    EXPECT_EQ(o->topModels[0].name, "claude-sonnet-4-5");
    EXPECT_EQ(o->topModels[0].family, "Sonnet");
    EXPECT_DOUBLE_EQ(*o->topModels[1].cost, 1750 * 5 / 1e6);
    EXPECT_TRUE(o->unpricedModels.empty());
}

TEST(HistoryOverviewTest, TheWeeklyPaceSaysWhenTheLimitWouldBeReached) {
    ZoneGuard zone("Europe/Berlin");
    const Instant now = at("2026-03-31T10:00:00.000Z");
    // The window began 122 hours ago.
    Limits::Window w{61, at("2026-04-02T08:00:00.000Z")};
    struct Case {
        double percent;
        bool beforeReset;
        const char *title, *text;
    };
    const Case cases[] = {
        // 0.5 % an hour: 78 hours to go, past the reset.
        {61, false, "On pace to stay under the weekly limit",
         "At this week's rate it would reach 100% at Fri 18:00, after it resets at Thu 10:00."},
        // 30.5 hours to go.
        {80, true, "On pace to hit the weekly limit at Wed 18:30",
         "It resets at Thu 10:00. Slow down: finish this task, /clear, and use smaller chats."},
    };
    for (const Case& c : cases) {
        w.usedPercent = c.percent;
        const auto pace = HistoryOverview::weeklyPace(w, now, dayAndTime);
        ASSERT_TRUE(pace) << c.percent;
        EXPECT_EQ(pace->beforeReset, c.beforeReset);
        EXPECT_EQ(pace->title, c.title);
        EXPECT_EQ(pace->text, c.text);
    }
    w.usedPercent = 9.9;
    EXPECT_FALSE(HistoryOverview::weeklyPace(w, now, dayAndTime)) << "too little to project";
    w.usedPercent = 50;
    EXPECT_FALSE(HistoryOverview::weeklyPace(w, at("2026-04-02T08:00:00.000Z"), dayAndTime));
}
