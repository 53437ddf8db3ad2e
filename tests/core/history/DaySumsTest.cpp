// The sums per local day are the quarter hours' sums, whatever changed since they were kept:
// new replies, old logs found late, a reply that grew, a new price threshold, another zone.
#include "DaySums.hpp"

#include "History.hpp"
#include "HistoryDatabase.hpp"
#include "HistoryQuery.hpp"
#include "HistoryUpdate.hpp"
#include "LogLines.hpp"
#include "PromptBands.hpp"
#include "TempDir.hpp"
#include "Timestamp.hpp"
#include "ZoneGuard.hpp"

#include <gtest/gtest.h>
#include <map>

using namespace vellumkite;
using namespace vellumkite::testing;
namespace fs = std::filesystem;

namespace {

class DaySumsTest : public ::testing::Test {
protected:
    TempDir dir;
    fs::path logs = dir / "logs";
    std::unique_ptr<History> history;

    void SetUp() override {
        auto opened = HistoryDatabase::open(dir / "history.sqlite3");
        ASSERT_TRUE(opened.db) << opened.message;
        history = std::make_unique<History>(std::move(*opened.db));
    }
    const SqliteDatabase& db() const { return history->database(); }

    void reply(const std::string& log, const std::string& id, Instant at, std::int64_t output,
               std::int64_t cacheRead = 1000) {
        Reply r;
        r.messageId = id;
        r.requestId = "req_" + id;
        r.timestamp = Timestamp::format(at);
        r.output = output;
        r.cacheRead = cacheRead;
        appendFile(logs / "p" / (log + ".jsonl"), replyLine(r) + "\n");
        ASSERT_TRUE(HistoryUpdate::run(*history, {logs}));
    }

    // (day, UTC day, band floor) -> output and replies, from the kept days and from the
    // quarter hours.
    using Table = std::map<std::tuple<std::string, std::int64_t, std::int64_t>, std::int64_t>;
    Table kept(std::optional<LocalDate> first = {}, std::optional<LocalDate> last = {}) const {
        Table out;
        const auto days = HistoryQuery(db()).days(first, last).value();
        for (const auto& d : days)
            out[{d.date.text(), d.usageClass.day, d.usageClass.promptAbove}] +=
                d.usage.output * 1000 + d.usage.replies;
        return out;
    }
    Table counted(std::optional<LocalDate> first = {}, std::optional<LocalDate> last = {}) const {
        Table out;
        const auto quarters = HistoryQuery(db()).quarters(kDistantPast, kDistantFuture).value();
        for (const auto& q : quarters) {
            const auto date = LocalDate::of(Instant{std::chrono::minutes(15 * q.index)});
            if ((first && date < *first) || (last && *last < date))
                continue;
            out[{date.text(), q.usageClass.day, q.usageClass.promptAbove}] +=
                q.usage.output * 1000 + q.usage.replies;
        }
        return out;
    }
};

Instant at(const char* text) {
    return Timestamp::parse(text).value();
}

} // namespace

TEST_F(DaySumsTest, KeptDaysFollowEveryChangeToTheQuarterHours) {
    ZoneGuard zone("America/New_York");
    // Evening in New York is the next UTC day: one local day over two price days.
    reply("a", "m1", at("2026-11-30T23:30:00.000Z"), 10);
    reply("a", "m2", at("2026-12-01T03:30:00.000Z"), 20);
    EXPECT_EQ(kept(), counted());
    EXPECT_EQ(kept().size(), 2u) << "2026-11-30 in two UTC days";

    // New replies today, and a log of long ago found late.
    reply("a", "m3", at("2026-12-05T12:00:00.000Z"), 30);
    reply("old", "m0", at("2025-02-01T12:00:00.000Z"), 5);
    EXPECT_EQ(kept(), counted());
    // A reply read again with its final output, and one that grows past a band threshold.
    reply("a", "m2", at("2026-12-01T03:30:00.000Z"), 25);
    reply("a", "m3", at("2026-12-05T12:00:00.000Z"), 30, 150000);
    EXPECT_EQ(kept(), counted());

    // A price book with a new threshold: every class is kept apart at it from then on.
    ASSERT_TRUE(PromptBands::splitAt(db(), {120000}));
    EXPECT_EQ(kept(), counted());
    const auto first = LocalDate::parse("2026-11-30"), last = LocalDate::parse("2026-12-01");
    EXPECT_EQ(kept(first, last), counted(first, last));
    EXPECT_EQ(kept(first, last).size(), 2u);

    // Another zone has days of its own, beside the first.
    {
        ZoneGuard kolkata("Asia/Kolkata"); // half-hour offset
        EXPECT_EQ(kept(), counted());
        reply("a", "m4", at("2026-12-06T20:00:00.000Z"), 40);
        EXPECT_EQ(kept(), counted());
    }
    EXPECT_EQ(kept(), counted());
    EXPECT_EQ(db().queryInteger("SELECT count(*) FROM day_zones"), 2);
}

TEST_F(DaySumsTest, AHistoryBusyWithAnotherWriterStillAnswersFromItsQuarterHours) {
    reply("a", "m1", at("2026-12-01T10:00:00.000Z"), 10);
    EXPECT_EQ(kept(), counted());
    reply("a", "m2", at("2026-12-02T10:00:00.000Z"), 20);
    // The other program holds the write lock while this one reads.
    auto other = SqliteDatabase::open(dir / "history.sqlite3", SqliteDatabase::Mode::readWrite);
    ASSERT_TRUE(other && other->exec("BEGIN IMMEDIATE"));
    db().setBusyTimeout(10);
    EXPECT_EQ(kept(), counted());
    ASSERT_TRUE(other->exec("COMMIT"));
}
