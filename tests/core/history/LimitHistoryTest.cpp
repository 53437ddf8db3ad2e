#include "LimitHistory.hpp"

#include "History.hpp"
#include "HistoryDatabase.hpp"
#include "HistoryKeeper.hpp"
#include "HistoryUpdate.hpp"
#include "LimitJournal.hpp"
#include "LimitJournalImport.hpp"
#include "LimitOverview.hpp"
#include "LimitReport.hpp"
#include "LogLines.hpp"
#include "LogPass.hpp"
#include "PriceTable.hpp"
#include "TempDir.hpp"
#include "Timestamp.hpp"
#include "ZoneGuard.hpp"

#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>

using namespace vellumkite;
using namespace vellumkite::testing;
namespace fs = std::filesystem;

namespace {

const Instant kNow = *Timestamp::parse("2026-12-07T12:00:00.000Z");

Instant minutes(double m) {
    return addSeconds(kNow, m * 60);
}

LimitReading fiveHour(double at, double percent, double resetsAt) {
    return {minutes(at), {{"five_hour", percent, minutes(resetsAt)}}};
}

class LimitHistoryTest : public ::testing::Test {
protected:
    TempDir dir;
    fs::path logs = dir / "logs";
    fs::path journal = dir / "data/limit-readings.jsonl";
    std::unique_ptr<History> history = open();

    std::unique_ptr<History> open() {
        auto opened = HistoryDatabase::open(dir / "data/history.sqlite3");
        EXPECT_TRUE(opened.db) << opened.message;
        return std::make_unique<History>(std::move(*opened.db));
    }
    std::int64_t readings() const {
        return history->database().queryInteger("SELECT count(*) FROM readings").value_or(-1);
    }
    std::size_t importJournal() {
        const auto taken = LimitJournalImport::read(*history, journal);
        EXPECT_TRUE(history->commit());
        return taken;
    }
    void append(const LimitReading& r) {
        ASSERT_EQ(LimitJournal::append(journal, r), LimitJournal::Appended::added);
    }
};

TEST_F(LimitHistoryTest, TakesTheJournalsNewLinesAndKeepsItsPosition) {
    append({minutes(-30), {{"five_hour", 10, minutes(100)}, {"seven_day", 3, minutes(5000)}}});
    append(fiveHour(-20, 11, 100));
    append(fiveHour(-10, 12, 100));
    EXPECT_EQ(importJournal(), 3u);
    EXPECT_EQ(readings(), 4);
    EXPECT_EQ(importJournal(), 0u);

    // Another run carries on from the position written with the readings.
    history = open();
    EXPECT_EQ(importJournal(), 0u);
    append(fiveHour(-5, 13, 100));
    EXPECT_EQ(importJournal(), 1u);

    // A line still being written is left for later; once ended by the next append it is passed
    // over as what it is, and the reading after it is taken.
    appendFile(journal, fiveHour(-4, 14, 100).line().substr(0, 30));
    EXPECT_EQ(importJournal(), 0u);
    append(fiveHour(-3, 15, 100));
    appendFile(journal, "not a reading\n{\"at\":1}\n");
    // Readings the status line would have refused, from one that did not check: a reset in
    // milliseconds, a percentage no window has.
    LimitReading millis = fiveHour(-3, 15, 100);
    millis.windows[0].resetsAt = fromUnixSeconds(toUnixSeconds(minutes(100)) * 1000);
    appendFile(journal, millis.line() + fiveHour(-3, -4, 100).line());
    EXPECT_EQ(importJournal(), 1u);
    EXPECT_EQ(readings(), 6);

    // A journal replaced (the same first line, another file) is read again from its start,
    // and the readings read before are kept once.
    writeFile(dir / "copy.jsonl", readFile(journal));
    fs::rename(dir / "copy.jsonl", journal);
    append(fiveHour(-2, 16, 100));
    EXPECT_EQ(importJournal(), 6u);
    EXPECT_EQ(readings(), 7);

    const auto instances =
        LimitHistory(history->database()).instances(kDistantPast, kDistantFuture);
    ASSERT_TRUE(instances);
    ASSERT_EQ(instances->size(), 2u);
    EXPECT_EQ((*instances)[0].name, "five_hour");
    EXPECT_EQ((*instances)[0].readings.size(), 6u);
    EXPECT_EQ((*instances)[0].readings.back(), (LimitPoint{minutes(-2), 16, minutes(100)}));
    EXPECT_EQ((*instances)[1].name, "seven_day");
}

TEST_F(LimitHistoryTest, AFullJournalStartsAfreshOnceItIsInAndNothingIsLost) {
    std::string text;
    int n = 0;
    while (text.size() <= LimitJournal::kFreshStartSize)
        text += fiveHour(-1000 + 0.01 * n, n % 100, 100 + n % 1000).line(), ++n;
    writeFile(journal, text);
    const fs::path aside = LimitJournal::setAsideFile(journal);

    // Not set aside before its lines are in.
    LimitJournalImport::tidy(*history, journal, kNow);
    EXPECT_TRUE(fs::exists(journal));
    EXPECT_EQ(importJournal(), static_cast<std::size_t>(n));
    LimitJournalImport::tidy(*history, journal, systemNow());
    EXPECT_FALSE(fs::exists(journal));
    EXPECT_EQ(readFile(aside), text);

    // A status line that had opened the journal before it moved writes into the one set aside;
    // the next begins a new journal. Both are read, from where each stands.
    appendFile(aside, fiveHour(-1, 50, 100).line());
    append(fiveHour(0, 51, 100));
    struct stat st {};
    ASSERT_EQ(::stat(journal.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(importJournal(), 2u);
    EXPECT_EQ(readings(), n + 2);

    // The one set aside goes once it has been left alone for a minute.
    LimitJournalImport::tidy(*history, journal, systemNow());
    EXPECT_TRUE(fs::exists(aside));
    LimitJournalImport::tidy(*history, journal, addSeconds(systemNow(), 61));
    EXPECT_FALSE(fs::exists(aside));
    EXPECT_TRUE(fs::exists(journal));
    EXPECT_EQ(importJournal(), 0u);
    EXPECT_EQ(readings(), n + 2);
}

// A steady burn: a reply of 1,000 weight (1,000 input tokens of claude-sonnet-4-5, $0.003)
// every minute for the last five hours, and two 5-hour windows with a reset between them.
class SteadyBurnTest : public LimitHistoryTest {
protected:
    void SetUp() override {
        std::vector<std::string> times;
        for (int m = 1; m <= 300; ++m)
            times.push_back(Timestamp::format(minutes(-m)));
        writeFile(logs / "p/chat.jsonl", steadyReplies(times, "claude-sonnet-4-5-20250929", 1000));
        ASSERT_TRUE(HistoryUpdate::run(*history, {logs}));

        // The first window, which reset 3 hours ago: 50, 52, 54 % ten minutes apart.
        for (int k = 0; k < 3; ++k)
            append(fiveHour(-300 + 10 * k, 50 + 2 * k, -180));
        // The current one resets in 2 hours: 0 % 130 minutes ago, then 5 points every ten
        // minutes up to 60 % ten minutes ago (its reset wobbling by seconds).
        for (int k = 0; k <= 12; ++k)
            append(fiveHour(-130 + 10 * k, 5 * k, 120 + (k % 2 ? 0.5 : 0)));
        // A week with one point's rise: not enough to know a percent by.
        append({minutes(-1), {{"seven_day", 10, minutes(3000)}}});
        append({minutes(-0.5), {{"seven_day", 10.4, minutes(3000)}}});
        append({minutes(-0.2), {{"seven_day", 11, minutes(3000)}}});
        ASSERT_EQ(importJournal(), 19u);
    }
};

TEST_F(SteadyBurnTest, CalibrationAndProjectionMatchTheHandFigures) {
    const auto record = LimitHistory(history->database()).record(PriceTable::builtIn(), kNow);
    ASSERT_TRUE(record);
    // Spans: 2 in the first window (2 points each), 12 in the current one (5 points each), each
    // ten minutes with ten replies inside: 14 x 10,000 weight over 2 x 2 + 12 x 5 = 64 points.
    const LimitCalibration& five = record->calibration.at("five_hour");
    EXPECT_EQ(five.spans, 14);
    EXPECT_DOUBLE_EQ(*five.weightPerPercent(), 140000.0 / 64); // 2,187.5
    EXPECT_NEAR(*five.costPerPercent(), 14 * 0.03 / 64, 1e-12);
    const LimitCalibration& week = record->calibration.at("seven_day");
    EXPECT_EQ(week.spans, 1);
    EXPECT_FALSE(week.weightPerPercent());

    // The last hour's readings: 35 % to 60 % in 50 minutes, 0.5 a minute; the 40 points left
    // take 80 minutes from the last reading, ten minutes ago: full 70 minutes from now, 50
    // minutes before the reset.
    const auto projections = record->project(kNow, 0);
    ASSERT_EQ(projections.size(), 2u);
    EXPECT_EQ(projections[0].window, "five_hour");
    EXPECT_EQ(projections[0].percent, 60);
    EXPECT_EQ(projections[0].resetsAt, minutes(120));
    ASSERT_TRUE(projections[0].fullAt);
    EXPECT_EQ(*projections[0].fullAt, minutes(70));
    EXPECT_TRUE(projections[0].fullWellBeforeReset());
    // The week's readings rose a point in the last hour, 10 % to 11 % in 48 seconds: at that
    // pace the 89 points left take 71.2 minutes from the last one, 12 seconds ago.
    EXPECT_EQ(*projections[1].fullAt, minutes(71));

    // The burn of the last 15 minutes: 15 replies, 1,000 weight a minute.
    EXPECT_DOUBLE_EQ(*LimitHistory(history->database()).burnPerMin(kNow), 1000);
}

TEST_F(SteadyBurnTest, TheReportListsEachInstanceWithTheRepliesInsideIt) {
    const ZoneGuard zone("UTC");
    const auto report = LimitReport::build(history->database(), PriceTable::builtIn(), {}, kNow);
    ASSERT_TRUE(report);
    ASSERT_EQ(report->windows.size(), 3u);
    // The first window ran from 8 hours ago to its reset 3 hours ago: the replies of its last
    // two hours, 120 of them; the current one has had the 180 since 3 hours ago.
    EXPECT_EQ(report->windows[0].instance.resetsAt, minutes(-180));
    EXPECT_EQ(report->windows[0].instance.peak(), 54);
    EXPECT_EQ(report->windows[0].usage.replies, 120);
    EXPECT_DOUBLE_EQ(report->windows[0].usage.weight, 120000);
    EXPECT_NEAR(*report->windows[0].usage.cost, 0.36, 1e-12);
    EXPECT_EQ(report->windows[1].instance.readings.size(), 13u);
    EXPECT_EQ(report->windows[1].usage.replies, 180);
    EXPECT_EQ(report->windows[2].instance.name, "seven_day");
    EXPECT_EQ(report->windows[2].usage.replies, 300);
    EXPECT_EQ(report->since, "2026-12-07");
    EXPECT_EQ(report->calibration.at("five_hour").spans, 14);
    ASSERT_EQ(report->projections.size(), 2u);
    EXPECT_EQ(*report->projections[0].fullAt, minutes(70));
}

} // namespace

// The app's passes: every one takes the journal's new readings in with the logs' lines, and
// the record the live figures use follows them.
TEST_F(SteadyBurnTest, TheKeepersPassesTakeTheJournalInAndTheRecordFollows) {
    history.reset();
    Instant clock = kNow;
    HistoryKeeper keeper(dir / "data/history.sqlite3", journal, 8 * 86400, {},
                         [&] { return clock; });
    LogPass logPass({logs});
    const auto pass = [&] {
        LogPass::Reader* reader = keeper.reader();
        ASSERT_TRUE(reader);
        logPass.run({reader});
        keeper.afterPass();
    };
    keeper.open();
    pass();
    const PriceTable prices = PriceTable::builtIn();
    const LimitRecord* record = keeper.limitRecord(prices);
    ASSERT_TRUE(record);
    EXPECT_DOUBLE_EQ(*record->weightPerPercent("five_hour"), 2187.5);
    ASSERT_EQ(record->project(kNow, 0).front().fullAt, minutes(70));

    // A reading taken meanwhile is in with the next pass, and the projection moves: the last
    // hour now runs from 40 % 50 minutes ago to 68 % 5 minutes ago, 28 points in 45 minutes;
    // the 32 left take 51 3/7 minutes from the last reading.
    clock = minutes(1);
    append(fiveHour(-5, 68, 120));
    pass();
    record = keeper.limitRecord(prices);
    EXPECT_EQ(record->latest.front().readings.back().percent, 68);
    EXPECT_NEAR(secondsBetween(minutes(-5 + 32 * 45.0 / 28),
                               *record->project(minutes(1), 0).front().fullAt),
                0, 1e-5);
    // With nothing new it is not worked out again until a while has passed.
    pass();
    EXPECT_EQ(keeper.limitRecord(prices), record);
}

TEST_F(SteadyBurnTest, TheHistoryWindowsLimitsPartHasTheLastWeekAndTheLastFourWeeks) {
    // Weeks that reset one to five weeks ago (an hour later in the day), each read once the day
    // before its reset; a 5-hour window eight days ago.
    for (int k = 1; k <= 5; ++k)
        append({minutes(-k * 7 * 1440 + 60 - 1440),
                {{"seven_day", 10.0 * k, minutes(-k * 7 * 1440 + 60)}}});
    append(fiveHour(-8 * 1440, 30, -8 * 1440 + 100));
    ASSERT_EQ(importJournal(), 6u);

    const auto o = LimitOverview::build(history->database(), PriceTable::builtIn(), kNow);
    ASSERT_TRUE(o);
    EXPECT_EQ(o->to, kNow);
    EXPECT_EQ(o->from, minutes(-7 * 1440));
    // The two windows of today, by their peaks; the one eight days ago is out.
    ASSERT_EQ(o->fiveHour.size(), 2u);
    EXPECT_EQ(o->fiveHour[0], (LimitOverview::Peak{minutes(-480), minutes(-180), 54}));
    EXPECT_EQ(o->fiveHour[1], (LimitOverview::Peak{minutes(-180), minutes(120), 60}));
    // The weeks that reset within the last three, and this one; the fourth back is out.
    ASSERT_EQ(o->weeks.size(), 4u);
    EXPECT_EQ(o->weeks[0].resetsAt, minutes(-3 * 7 * 1440 + 60));
    EXPECT_EQ(o->weeks[0].start, minutes(-4 * 7 * 1440 + 60));
    EXPECT_EQ(o->weeks[0].readings.size(), 1u);
    EXPECT_EQ(o->weeks[0].readings[0].percent, 30);
    EXPECT_EQ(o->weeks[3].resetsAt, minutes(3000));
    EXPECT_EQ(o->weeks[3].readings.size(), 3u);
    EXPECT_EQ(o->fiveHourCalibration.spans, 14);
    EXPECT_DOUBLE_EQ(*o->fiveHourCalibration.weightPerPercent(), 2187.5);
    EXPECT_FALSE(o->weeklyCalibration.known());
}
