#include "UsageReport.hpp"

#include "History.hpp"
#include "HistoryDatabase.hpp"
#include "HistoryQuery.hpp"
#include "LogLines.hpp"
#include "PriceTable.hpp"
#include "TempDir.hpp"
#include "Timestamp.hpp"
#include "TurnParser.hpp"
#include "UsageTotals.hpp"
#include "ZoneGuard.hpp"

#include <gtest/gtest.h>

using namespace vellumkite;
using namespace vellumkite::testing;

namespace {

// Replies around the spring clock change in Berlin (2026-03-29, 02:00 became 03:00) and a month
// end; local times in the comments.
struct Case {
    const char* id;
    const char* time;
    const char* model;
};
constexpr Case kReplies[] = {
    {"a", "2026-03-28T22:59:00.000Z", "claude-opus-4-5"},            // Sat 28th 23:59 CET
    {"b", "2026-03-28T23:00:00.000Z", "claude-opus-4-5"},            // Sun 29th 00:00 CET
    {"c", "2026-03-29T21:59:00.000Z", "claude-opus-4-5"},            // Sun 29th 23:59 CEST
    {"d", "2026-03-29T22:00:00.000Z", "claude-sonnet-4-5-20250929"}, // Mon 30th 00:00
    {"e", "2026-03-31T21:30:00.000Z", "claude-future-9"},            // Tue 31st 23:30
    {"f", "2026-03-31T22:30:00.000Z", "claude-haiku-4-5-20251001"},  // Wed 1st April 00:30
};

class UsageReportTest : public ::testing::Test {
protected:
    TempDir dir;
    std::unique_ptr<History> history;
    PriceTable prices = PriceTable::builtIn();
    Instant now = *Timestamp::parse("2026-04-02T12:00:00.000Z");

    void SetUp() override {
        auto opened = HistoryDatabase::open(dir / "h.sqlite3");
        history = std::make_unique<History>(std::move(*opened.db));
        int n = 1;
        for (const auto& c : kReplies) {
            Reply r;
            r.messageId = c.id;
            r.timestamp = c.time;
            r.model = c.model;
            r.input = 1000 * n++;
            r.output = 100;
            history->take(*TurnParser::parse(replyLine(r)));
        }
        ASSERT_TRUE(history->commit());
    }

    UsageReport report(UsageReport::Kind kind, const char* since = nullptr,
                       const char* until = nullptr, unsigned firstWeekday = 1) {
        UsageReport::Options o;
        o.kind = kind;
        o.byModel = true;
        o.firstWeekday = firstWeekday;
        if (since)
            o.since = LocalDate::parse(since);
        if (until)
            o.until = LocalDate::parse(until);
        return *UsageReport::build(HistoryQuery(history->database()), prices, o, now);
    }
    static std::vector<std::pair<std::string, std::int64_t>> periods(const UsageReport& r) {
        std::vector<std::pair<std::string, std::int64_t>> out;
        for (const auto& row : r.rows)
            out.emplace_back(row.period, row.usage.replies);
        return out;
    }
    using Periods = std::vector<std::pair<std::string, std::int64_t>>;
};

} // namespace

TEST_F(UsageReportTest, DaysWeeksAndMonthsAreLocalAcrossAClockChange) {
    ZoneGuard zone("Europe/Berlin");
    using K = UsageReport::Kind;
    EXPECT_EQ(periods(report(K::daily)), (Periods{{"2026-03-28", 1},
                                                  {"2026-03-29", 2},
                                                  {"2026-03-30", 1},
                                                  {"2026-03-31", 1},
                                                  {"2026-04-01", 1}}));
    EXPECT_EQ(periods(report(K::weekly)), (Periods{{"2026-03-23", 3}, {"2026-03-30", 3}}));
    EXPECT_EQ(periods(report(K::weekly, nullptr, nullptr, 0)),
              (Periods{{"2026-03-22", 1}, {"2026-03-29", 5}}));
    EXPECT_EQ(periods(report(K::monthly)), (Periods{{"2026-03", 5}, {"2026-04", 1}}));
    // The 23-hour day counts whole; the bounds are local days, both included.
    const auto range = report(K::daily, "2026-03-29", "2026-03-31");
    EXPECT_EQ(periods(range), (Periods{{"2026-03-29", 2}, {"2026-03-30", 1}, {"2026-03-31", 1}}));
    EXPECT_EQ(range.since, "2026-03-29");
    EXPECT_EQ(range.until, "2026-03-31");
    EXPECT_EQ(range.totals.replies, 4);
    // Without bounds: from the first reply's day to today.
    EXPECT_EQ(report(K::daily).since, "2026-03-28");
    EXPECT_EQ(report(K::daily).until, "2026-04-02");

    ZoneGuard utc("UTC");
    EXPECT_EQ(periods(report(K::daily)),
              (Periods{{"2026-03-28", 2}, {"2026-03-29", 2}, {"2026-03-31", 2}}));
}

TEST_F(UsageReportTest, CostsComeFromListPricesAndAreNeverGuessed) {
    ZoneGuard zone("Europe/Berlin");
    const auto models = report(UsageReport::Kind::models);
    ASSERT_EQ(models.rows.size(), 4u);
    // Heaviest first: opus (weight 7500), haiku (6500), the unpriced model (5500), sonnet.
    EXPECT_EQ(models.rows[0].period, "claude-opus-4-5");
    EXPECT_EQ(models.rows[1].period, "claude-haiku-4-5-20251001");
    EXPECT_EQ(models.rows[2].period, "claude-future-9");
    EXPECT_FALSE(models.rows[2].cost.total);
    EXPECT_EQ(models.unpricedModels, std::vector<std::string>{"claude-future-9"});
    EXPECT_FALSE(models.totalCost.total) << "a total with an unpriced part has no cost";
    for (const auto& row : models.rows)
        if (row.period == "claude-opus-4-5") {
            // Three replies: input 1000 + 2000 + 3000 at $5, output 300 at $25 per million.
            ASSERT_TRUE(row.cost.total);
            EXPECT_DOUBLE_EQ(*row.cost.total, (6000 * 5.0 + 300 * 25.0) / 1e6);
        }
    const auto daily = report(UsageReport::Kind::daily);
    EXPECT_FALSE(daily.rows[3].cost.total) << daily.rows[3].period;
    ASSERT_TRUE(daily.rows[2].cost.total) << "a dated id takes its model's price";
    EXPECT_DOUBLE_EQ(*daily.rows[2].cost.total, (4000 * 3.0 + 100 * 15.0) / 1e6);
    ASSERT_EQ(daily.rows[1].byModel.size(), 1u);
    EXPECT_EQ(daily.rows[1].byModel[0].usage.replies, 2);
}
