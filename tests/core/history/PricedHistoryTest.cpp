// Costs from the history as reports and the History window see them: replies read from log lines
// into a real database, priced by the shipped book and by a new one, and a history written by
// version 1 brought up to date.
#include "History.hpp"
#include "HistoryDatabase.hpp"
#include "HistoryQuery.hpp"
#include "HistoryUpdate.hpp"
#include "LogLines.hpp"
#include "PriceTable.hpp"
#include "PromptBands.hpp"
#include "TempDir.hpp"
#include "Timestamp.hpp"
#include "TurnParser.hpp"
#include "UsageReport.hpp"
#include "ZoneGuard.hpp"

#include <gtest/gtest.h>
#include <map>

using namespace vellumkite;
using namespace vellumkite::testing;
namespace fs = std::filesystem;

namespace {

constexpr double kMillionth = 1e-6;

struct Line {
    const char* id;
    const char* time;
    const char* model;
    std::int64_t input, cacheWrite, cacheRead, output;
    std::string extra; // more of "usage"
};

// Today's models, each rule once; the costs by hand are in the test below.
const Line kLines[] = {
    {"s1", "2026-10-06T23:59:59.000Z", "claude-sonnet-5-5", 1000, 0, 1'000'000, 500, ""},
    {"s2", "2026-10-07T00:00:00.000Z", "claude-sonnet-5-5", 1000, 0, 1'000'000, 500, ""},
    {"h1", "2026-11-02T10:00:00.000Z", "claude-haiku-5-5", 100'000, 0, 0, 1000, ""},
    {"h2", "2026-11-02T10:01:00.000Z", "claude-haiku-5-5", 100'001, 0, 0, 1000, ""},
    // In a quarter hour of its own: sums with a count the book has no rate for go unpriced whole.
    {"h3", "2026-11-02T10:20:00.000Z", "claude-haiku-5-5", 10, 0, 5000, 10, ""},
    {"o1", "2026-11-03T09:00:00.000Z", "claude-opus-5", 1000, 2000, 0, 1000, R"("speed":"fast")"},
    {"o2", "2026-11-03T09:05:00.000Z", "claude-opus-5-5", 1000, 0, 0, 1000, R"("speed":"fast")"},
    {"o3", "2026-11-03T09:10:00.000Z", "claude-opus-5-5[1m]", 1'000'000, 0, 0, 0,
     R"("inference_geo":"us")"},
    {"o5", "2026-11-03T09:15:00.000Z", "claude-opus-5-5", 500'000, 0, 0, 0, ""},
    {"o4", "2026-03-01T12:00:00.000Z", "claude-opus-4-6", 10, 0, 0, 100,
     R"("cache_creation":{"ephemeral_5m_input_tokens":1000,"ephemeral_1h_input_tokens":2000})"},
    // A streamed reply: its searches are the largest count over its lines.
    {"w1", "2026-11-04T08:00:00.000Z", "claude-sonnet-5", 100, 0, 0, 7,
     R"("server_tool_use":{"web_search_requests":1})"},
    {"w1", "2026-11-04T08:00:00.000Z", "claude-sonnet-5", 100, 0, 0, 100,
     R"("server_tool_use":{"web_search_requests":3})"},
    {"d1", "2026-11-05T08:00:00.000Z", "claude-opus-4-5-20251101", 2000, 0, 0, 0, ""},
    {"u1", "2026-11-06T08:00:00.000Z", "claude-opus-6", 500, 0, 0, 0, ""},
};

std::string logLine(const Line& l) {
    Reply r;
    r.messageId = l.id;
    r.requestId = std::string("req_") + l.id;
    r.timestamp = l.time;
    r.model = l.model;
    r.input = l.input;
    r.cacheWrite = l.cacheWrite;
    r.cacheRead = l.cacheRead;
    r.output = l.output;
    r.usageExtra = l.extra;
    return replyLine(r);
}

// A new book: Opus 5.5 with other rates, a fast-mode multiplier and a band at a threshold the
// history has never kept its sums apart at; Haiku 5.5 with its cache reads; a model that had no
// price; and a fee for web searches.
constexpr const char* kNewBook = R"({"webSearch": {"perThousand": 10}, "models": {
  "claude-opus-5-5": {"family": "Opus", "threshold": 500000, "fast": 2, "periods": [
    {"input": 3, "cacheWrite5m": 3.75, "cacheWrite1h": 6, "cacheRead": 0.3, "output": 15,
     "above": {"input": 6, "cacheWrite5m": 7.5, "cacheWrite1h": 12, "cacheRead": 0.6,
               "output": 22.5}}]},
  "claude-haiku-5-5": {"family": "Haiku", "threshold": 100000, "periods": [
    {"from": "2026-10-07", "input": 0.1, "cacheWrite5m": 0.125, "cacheWrite1h": 0.2,
     "cacheRead": 0.01, "output": 0.5, "above": {"input": 0.5, "cacheWrite5m": 0.625,
     "cacheWrite1h": 1, "cacheRead": 0.05, "output": 2.5}}]},
  "claude-opus-6": {"family": "Opus", "input": 10, "output": 50}}})";

class PricedHistoryTest : public ::testing::Test {
protected:
    TempDir dir;
    ZoneGuard zone{"UTC"};
    Instant now = *Timestamp::parse("2026-12-07T12:00:00.000Z");

    std::unique_ptr<History> open(const fs::path& file) {
        auto opened = HistoryDatabase::open(file);
        EXPECT_TRUE(opened.db) << opened.message;
        return std::make_unique<History>(std::move(*opened.db));
    }

    static UsageReport models(const History& history, const PriceTable& book) {
        UsageReport::Options o;
        o.kind = UsageReport::Kind::models;
        return *UsageReport::build(HistoryQuery(history.database()), book, o,
                                   *Timestamp::parse("2026-12-07T12:00:00.000Z"));
    }
    static std::map<std::string, UsageReport::Row> byModel(const UsageReport& r) {
        std::map<std::string, UsageReport::Row> out;
        for (const auto& row : r.rows)
            out[row.period] = row;
        return out;
    }
    // The sums the reports read, against the replies they are kept from.
    static void expectSumsMatchReplies(const History& history) {
        const auto& db = history.database();
        for (const char* column :
             {"input", "output", "cache_write", "cache_write_1h", "cache_read", "web_searches"})
            EXPECT_EQ(db.queryInteger(std::string("SELECT total(") + column + ") FROM quarters"),
                      db.queryInteger(std::string("SELECT total(") + column + ") FROM replies"))
                << column;
        EXPECT_EQ(db.queryInteger("SELECT total(replies) FROM quarters"),
                  db.queryInteger("SELECT count(*) FROM replies"));
        EXPECT_EQ(db.queryInteger("SELECT count(*) FROM quarters WHERE replies = 0"), 0);
    }
};

} // namespace

TEST_F(PricedHistoryTest, TodaysModelsCostWhatThePublishedRulesGive) {
    auto history = open(dir / "h.sqlite3");
    for (const auto& l : kLines)
        history->take(*TurnParser::parse(logLine(l)));
    ASSERT_TRUE(history->commit());
    const auto report = models(*history, PriceTable::builtIn());
    auto rows = byModel(report);
    ASSERT_EQ(rows.size(), 8u) << "claude-opus-5-5[1m] is claude-opus-5-5's row";

    const auto cost = [&](const char* model) { return rows.at(model).cost; };
    // Sonnet 5.5: a cache read at $0.20 the day before 2026-10-07, at $0.10 from its first second.
    EXPECT_NEAR(*cost("claude-sonnet-5-5").total,
                (2 * 1000 + 0.20 * 1e6 + 10 * 500 + 2 * 1000 + 0.10 * 1e6 + 10 * 500) / 1e6,
                kMillionth);
    // Haiku 5.5: a prompt of 100,000 within its band, 100,001 above it, and a small one with
    // cache reads.
    EXPECT_NEAR(*cost("claude-haiku-5-5").total,
                (0.10 * 100'000 + 0.50 * 1000 + 0.50 * 100'001 + 2.50 * 1000 + 0.10 * 10 +
                 0.01 * 5000 + 0.50 * 10) /
                    1e6,
                kMillionth);
    // Opus 5 in fast mode: twice every rate.
    EXPECT_NEAR(*cost("claude-opus-5").total, 2 * (5 * 1000 + 6.25 * 2000 + 25 * 1000) / 1e6,
                kMillionth);
    // Opus 5.5: fast without a published multiplier (standard rates, counted), US-only at 1.1.
    EXPECT_NEAR(*cost("claude-opus-5-5").total,
                (4 * 1000 + 20 * 1000 + 1.1 * 4 * 1'000'000 + 4 * 500'000) / 1e6, kMillionth);
    EXPECT_EQ(cost("claude-opus-5-5").fastUnpriced, 1);
    EXPECT_EQ(rows.at("claude-opus-5-5").usage.replies, 3);
    // Opus 4.6: a cache write given only by its parts, 1,000 for 5 minutes and 2,000 for an hour.
    EXPECT_EQ(rows.at("claude-opus-4-6").usage.cacheWrite, 3000);
    EXPECT_NEAR(*cost("claude-opus-4-6").total, (5 * 10 + 6.25 * 1000 + 10 * 2000 + 25 * 100) / 1e6,
                kMillionth);
    // Sonnet 5: three searches at $10 a thousand, on top of its tokens.
    EXPECT_EQ(rows.at("claude-sonnet-5").usage.webSearches, 3);
    EXPECT_NEAR(*cost("claude-sonnet-5").total, (2 * 100 + 10 * 100) / 1e6 + 3 * 10.0 / 1000,
                kMillionth);
    EXPECT_EQ(report.searchesUnpriced, 0);
    EXPECT_NEAR(*cost("claude-opus-4-5-20251101").total, 5 * 2000 / 1e6, kMillionth);
    EXPECT_FALSE(cost("claude-opus-6").total);
    EXPECT_EQ(cost("claude-opus-6").priced, 0);

    EXPECT_EQ(report.unpricedModels, (std::vector<std::string>{"claude-opus-6"}));
    EXPECT_FALSE(report.totalCost.total);
    EXPECT_EQ(report.totalCost.unpricedModels, 1u);
    EXPECT_NEAR(report.totalCost.priced, 0.314 + 0.0630565 + 0.085 + 6.424 + 0.0288 + 0.0312 + 0.01,
                kMillionth);
    EXPECT_EQ(report.totals.fastReplies, 2);
    EXPECT_EQ(report.totalCost.fastUnpriced, 1);
    EXPECT_EQ(report.priceBook, "2026-12-07");
    expectSumsMatchReplies(*history);
}

TEST_F(PricedHistoryTest, ANewBookRepricesTheWholeHistoryEvenAtANewThreshold) {
    auto history = open(dir / "h.sqlite3");
    for (const auto& l : kLines)
        history->take(*TurnParser::parse(logLine(l)));
    ASSERT_TRUE(history->commit());
    PriceTable book = PriceTable::builtIn();
    std::string error;
    ASSERT_TRUE(book.merge(kNewBook, PriceTable::Origin::user, &error)) << error;

    // Until the sums are kept apart at 500,000 tokens, the replies on both sides of it cannot be
    // told apart: their cost is missing, never guessed.
    auto rows = byModel(models(*history, book));
    EXPECT_FALSE(rows.at("claude-opus-5-5").cost.total);
    EXPECT_NEAR(rows.at("claude-opus-5-5").cost.priced, 2 * (3 * 1000 + 15 * 1000) / 1e6,
                kMillionth);

    ASSERT_TRUE(PromptBands::splitAt(history->database(), book.thresholds()));
    EXPECT_EQ(PromptBands::read(history->database()),
              (std::vector<std::int64_t>{100'000, 200'000, 500'000}));
    expectSumsMatchReplies(*history);
    const auto report = models(*history, book);
    rows = byModel(report);
    // A prompt of exactly 500,000 is within the band, 1,000,000 above it; fast is now twice.
    EXPECT_NEAR(*rows.at("claude-opus-5-5").cost.total,
                (2 * (3 * 1000 + 15 * 1000) + 1.1 * 6 * 1'000'000 + 3 * 500'000) / 1e6, kMillionth);
    EXPECT_EQ(rows.at("claude-opus-5-5").cost.fastUnpriced, 0);
    EXPECT_NEAR(*rows.at("claude-haiku-5-5").cost.total,
                (0.10 * 100'000 + 0.50 * 1000 + 0.50 * 100'001 + 2.50 * 1000 + 0.10 * 10 +
                 0.01 * 5000 + 0.50 * 10) /
                    1e6,
                kMillionth);
    EXPECT_NEAR(*rows.at("claude-sonnet-5").cost.total, (2 * 100 + 10 * 100) / 1e6 + 3 * 0.01,
                kMillionth);
    EXPECT_NEAR(*rows.at("claude-opus-6").cost.total, 10 * 500 / 1e6, kMillionth);
    EXPECT_TRUE(report.unpricedModels.empty());
    EXPECT_NEAR(*report.totalCost.total,
                0.314 + 0.0630565 + 0.085 + 8.136 + 0.0288 + 0.0312 + 0.01 + 0.005, kMillionth);

    // Replies that come later fall in the new classes too; one that grows across the threshold
    // moves to the class above.
    Line more{"o6", "2026-11-08T09:00:00.000Z", "claude-opus-5-5", 400'000, 0, 0, 0, ""};
    history->take(*TurnParser::parse(logLine(more)));
    ASSERT_TRUE(history->commit());
    more.input = 600'000;
    more.extra = R"("speed":"fast")";
    history->take(*TurnParser::parse(logLine(more)));
    ASSERT_TRUE(history->commit());
    expectSumsMatchReplies(*history);
    EXPECT_NEAR(*byModel(models(*history, book)).at("claude-opus-5-5").cost.total,
                (36000 + 6'600'000 + 1'500'000 + 2 * 6 * 600'000) / 1e6, kMillionth);
}

namespace {

// A reply as version 1 wrote it (its columns, its upsert).
void writeVersion1(const SqliteDatabase& db, const std::string& key, const char* time,
                   const char* model, std::int64_t input, std::int64_t cacheWrite,
                   std::int64_t output) {
    auto s = db.prepare(R"sql(
INSERT INTO replies(key, time, session, project, model, input, cache_read, cache_write,
                    cache_write_1h, output)
VALUES (?1, ?2, (SELECT id FROM names WHERE text = 's1'),
        (SELECT id FROM names WHERE text = '/home/you/project'),
        (SELECT id FROM names WHERE text = ?3), ?4, 0, ?5, 0, ?6)
ON CONFLICT(key) DO UPDATE SET
    input = max(input, excluded.input),
    cache_write = max(cache_write, excluded.cache_write),
    output = max(output, excluded.output))sql");
    s.bind(1, std::string_view(key))
        .bind(2, static_cast<std::int64_t>(Timestamp::parse(time)->time_since_epoch().count()))
        .bind(3, std::string_view(model))
        .bind(4, input)
        .bind(5, cacheWrite)
        .bind(6, output);
    ASSERT_TRUE(s.run()) << db.lastError();
}

} // namespace

TEST_F(PricedHistoryTest, AVersion1HistoryKeepsEveryRowAndLearnsTheRestFromItsLogs) {
    const fs::path file = dir / "history.sqlite3";
    const fs::path logs = dir / "logs";
    // What the logs still hold: a fast, US-only reply with searches whose cache write version 1
    // took as 0, and three replies version 1 gave random keys (no message id), one of them
    // streamed over two lines and so counted twice.
    Reply fast;
    fast.messageId = "msg_a";
    fast.requestId = "req_a";
    fast.timestamp = "2026-11-10T10:00:00.000Z";
    fast.model = "claude-opus-4-6";
    fast.input = 10;
    fast.output = 100;
    fast.usageExtra = R"("cache_creation":{"ephemeral_5m_input_tokens":1000,)"
                      R"("ephemeral_1h_input_tokens":2000},"speed":"fast",)"
                      R"("inference_geo":"us","server_tool_use":{"web_search_requests":2})";
    const auto withoutId = [](Reply r) {
        std::string line = replyLine(r);
        const std::string id = "\"id\":\"" + r.messageId + "\",";
        line.erase(line.find(id), id.size());
        return line;
    };
    Reply c = fast;
    c.messageId = "none";
    c.requestId = "req_c";
    c.usageExtra.clear();
    c.input = 30;
    Reply d = c;
    d.requestId = "";
    d.input = 40;
    Reply e1 = c;
    e1.requestId = "req_e";
    e1.output = 5;
    Reply e2 = e1;
    e2.output = 200;
    writeFile(logs / "p/chat.jsonl", replyLine(fast) + "\n" + withoutId(c) + "\n" + withoutId(d) +
                                         "\n" + withoutId(e1) + "\n" + withoutId(e2) + "\n");
    {
        auto db = SqliteDatabase::open(file, SqliteDatabase::Mode::create);
        ASSERT_TRUE(db && db->exec(HistoryDatabase::firstSchema()) &&
                    db->exec("PRAGMA user_version = 1"));
        ASSERT_TRUE(db->exec("INSERT INTO names(text) VALUES ('s1'), ('/home/you/project'), "
                             "('claude-opus-4-6'), ('claude-sonnet-4-5')"));
        writeVersion1(*db, "msg_a:req_a", "2026-11-10T10:00:00.000Z", "claude-opus-4-6", 10, 0,
                      100);
        // A reply whose log the assistant has deleted.
        writeVersion1(*db, "msg_b:req_b", "2026-11-11T10:00:00.000Z", "claude-sonnet-4-5", 300, 0,
                      30);
        writeVersion1(*db, "0b0c4a6e-39b1-4a4e-9d9e-2b8f3c1d7e01:req_c", "2026-11-10T10:00:00.000Z",
                      "claude-opus-4-6", 30, 0, 100);
        writeVersion1(*db, "5f1a2b3c-4d5e-4f60-8a9b-0c1d2e3f4a5b:", "2026-11-10T10:00:00.000Z",
                      "claude-opus-4-6", 40, 0, 100);
        writeVersion1(*db, "11111111-2222-4333-8444-555555555555:req_e", "2026-11-10T10:00:00.000Z",
                      "claude-opus-4-6", 30, 0, 5);
        writeVersion1(*db, "aaaaaaaa-bbbb-4ccc-8ddd-eeeeeeeeeeee:req_e", "2026-11-10T10:00:00.000Z",
                      "claude-opus-4-6", 30, 0, 200);
        // Version 1 had read the whole log.
        ASSERT_TRUE(db->exec("INSERT INTO logs VALUES ('" + (logs / "p/chat.jsonl").string() +
                             "', " + std::to_string(fs::file_size(logs / "p/chat.jsonl")) +
                             ", 1, 1, 1, 1, 1)"));
    }

    auto history = open(file);
    const auto& db = history->database();
    EXPECT_EQ(db.queryInteger("PRAGMA user_version"), HistoryDatabase::kVersion);
    EXPECT_EQ(db.queryInteger("SELECT count(*) FROM replies"), 5)
        << "every row kept; the two lines of one reply are one";
    EXPECT_EQ(db.queryInteger("SELECT output FROM replies WHERE key = '-:req_e'"), 200);
    EXPECT_EQ(db.queryInteger("SELECT count(*) FROM logs"), 0) << "every log is read again";
    expectSumsMatchReplies(*history);

    ASSERT_TRUE(HistoryUpdate::run(*history, {logs}));
    EXPECT_EQ(db.queryInteger("SELECT count(*) FROM replies"), 5) << "nothing counted twice";
    expectSumsMatchReplies(*history);
    const auto report = models(*history, PriceTable::builtIn());
    auto rows = byModel(report);
    // The reply read again is fast (Opus 4.6: six times), US-only, has its cache write and its
    // two web searches; the others are as they were.
    EXPECT_NEAR(*rows.at("claude-opus-4-6").cost.total,
                (6 * 1.1 * (5 * 10 + 6.25 * 1000 + 10 * 2000 + 25 * 100) + 5 * (30 + 40 + 30) +
                 25 * (100 + 100 + 200)) /
                        1e6 +
                    2 * 10.0 / 1000,
                kMillionth);
    EXPECT_EQ(rows.at("claude-opus-4-6").usage.webSearches, 2);
    EXPECT_EQ(rows.at("claude-opus-4-6").usage.fastReplies, 1);
    EXPECT_EQ(rows.at("claude-sonnet-4-5").usage.input, 300) << "its log is gone; it stays";
    EXPECT_NEAR(*rows.at("claude-sonnet-4-5").cost.total, (3 * 300 + 15 * 30) / 1e6, kMillionth);

    // Opened again: already version 2, nothing read twice.
    history = open(file);
    ASSERT_TRUE(HistoryUpdate::run(*history, {logs}));
    EXPECT_EQ(history->database().queryInteger("SELECT count(*) FROM replies"), 5);
}
