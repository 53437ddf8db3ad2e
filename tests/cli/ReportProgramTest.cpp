// vellumkite-cli report as scripts run it: the real binary, a home of its own.
#include "HistoryDatabase.hpp"
#include "TestHome.hpp"

#include <gtest/gtest.h>
#include <simdjson.h>

using namespace vellumkite;
using namespace vellumkite::testing;

namespace {

Reply replyAt(const char* id, const char* time, const char* model, std::int64_t input) {
    return Reply{.messageId = id,
                 .timestamp = time,
                 .model = model,
                 .input = input,
                 .cacheRead = 20000,
                 .cacheWrite = 1000,
                 .output = 10,
                 .tools = {},
                 .usageExtra = {}};
}

} // namespace

TEST(ReportProgramTest, JsonGivesEveryFigureInTheDocumentedShape) {
    TestHome home;
    writeFile(
        home.chatFile("s1"),
        replyLine(replyAt("m1", "2026-11-30T23:30:00.000Z", "claude-opus-4-5", 100)) + "\n" +
            replyLine(replyAt("m2", "2026-12-01T00:30:00.000Z", "claude-opus-4-5", 200)) + "\n" +
            replyLine(replyAt("m3", "2026-12-01T08:00:00.000Z", "mystery-model", 300)) + "\n");
    const Exit e = home.programs.run(
        {kCli, "report", "daily", "--json", "--by-model", "--tz", "Europe/Berlin"});
    ASSERT_EQ(e.code, 0) << e.err;
    simdjson::dom::parser parser;
    simdjson::dom::element j;
    ASSERT_EQ(parser.parse(e.out).get(j), simdjson::SUCCESS) << e.out;
    EXPECT_EQ(std::string_view(j["report"]), "daily");
    EXPECT_EQ(std::string_view(j["timezone"]), "Europe/Berlin");
    EXPECT_EQ(std::string_view(j["since"]), "2026-12-01");
    // All three fall on the 1st in Berlin; the last model has no price.
    simdjson::dom::array rows = j["rows"];
    ASSERT_EQ(rows.size(), 1u);
    const auto row = rows.at(0).value();
    EXPECT_EQ(std::string_view(row["period"]), "2026-12-01");
    EXPECT_EQ(std::int64_t(row["input"]), 600);
    EXPECT_EQ(std::int64_t(row["output"]), 30);
    EXPECT_EQ(std::int64_t(row["cacheWrite"]), 3000);
    EXPECT_EQ(std::int64_t(row["cacheRead"]), 60000);
    EXPECT_EQ(std::int64_t(row["totalTokens"]), 63630);
    EXPECT_DOUBLE_EQ(double(row["weight"]), 600 + 150 + 3750 + 6000);
    EXPECT_TRUE(row["cost"].is_null());
    EXPECT_EQ(simdjson::minify(row["models"]), R"(["claude-opus-4-5","mystery-model"])");
    simdjson::dom::array byModel = row["byModel"];
    ASSERT_EQ(byModel.size(), 2u);
    const auto opus = byModel.at(0).value();
    EXPECT_EQ(std::string_view(opus["model"]), "claude-opus-4-5");
    EXPECT_EQ(std::int64_t(opus["input"]), 300);
    EXPECT_DOUBLE_EQ(double(opus["cost"]), (300 * 5 + 2000 * 6.25 + 40000 * 0.5 + 20 * 25) / 1e6);
    EXPECT_TRUE(byModel.at(1)["cost"].is_null());
    EXPECT_EQ(std::int64_t(j["totals"]["totalTokens"]), 63630);
    EXPECT_TRUE(j["totals"]["cost"].is_null());
    // The part with a price stands beside the cost that has none.
    EXPECT_DOUBLE_EQ(double(row["pricedCost"]), double(opus["cost"]));
    EXPECT_DOUBLE_EQ(double(j["totals"]["pricedCost"]), double(opus["cost"]));
    EXPECT_EQ(std::int64_t(row["webSearches"]), 0);
    EXPECT_EQ(std::int64_t(row["fast"]), 0);
    EXPECT_EQ(simdjson::minify(j["unpricedModels"]), R"(["mystery-model"])");
    EXPECT_EQ(std::string_view(j["priceBook"]), "2026-12-07");

    // The same history, in another zone and as a table; nothing new is read the second time.
    const Exit table = home.programs.run({kCli, "report", "daily", "--tz", "UTC"});
    ASSERT_EQ(table.code, 0) << table.err;
    EXPECT_EQ(table.err, "");
    EXPECT_NE(table.out.find("2026-11-30"), std::string::npos) << table.out;
    EXPECT_NE(table.out.find("No price for mystery-model"), std::string::npos);
    EXPECT_NE(table.out.find(" + 1 model without a price\n"), std::string::npos) << table.out;
    EXPECT_EQ(table.out.find("Web searches"), std::string::npos) << "none: no column";
    EXPECT_EQ(table.out.find('\x1b'), std::string::npos) << "no escape codes on a pipe";
}

TEST(ReportProgramTest, WebSearchesAndFastRepliesAreCountedAndSaidWhenTheyHaveNoPrice) {
    TestHome home;
    Reply fast = replyAt("m1", "2026-12-01T10:00:00.000Z", "claude-opus-5-5", 100);
    fast.usageExtra = R"("speed":"fast","server_tool_use":{"web_search_requests":4})";
    Reply fast5 = replyAt("m2", "2026-12-01T11:00:00.000Z", "claude-opus-5", 100);
    fast5.usageExtra = R"("speed":"fast")";
    writeFile(home.chatFile("s1"), replyLine(fast) + "\n" + replyLine(fast5) + "\n");
    const Exit json = home.programs.run({kCli, "report", "daily", "--json", "--tz", "UTC"});
    ASSERT_EQ(json.code, 0) << json.err;
    simdjson::dom::parser parser;
    simdjson::dom::element j;
    ASSERT_EQ(parser.parse(json.out).get(j), simdjson::SUCCESS) << json.out;
    const auto totals = j["totals"];
    EXPECT_EQ(std::int64_t(totals["webSearches"]), 4);
    EXPECT_EQ(std::int64_t(totals["fast"]), 2);
    EXPECT_EQ(std::int64_t(totals["fastUnpriced"]), 1) << "Opus 5.5 has no fast-mode price";
    // Opus 5.5 at standard rates, Opus 5 at twice them; the searches have no fee in the book.
    const double opus55 = (4 * 100 + 5 * 1000 + 0.2 * 20000 + 20 * 10) / 1e6;
    const double opus5 = 2 * (5 * 100 + 6.25 * 1000 + 0.5 * 20000 + 25 * 10) / 1e6;
    EXPECT_NEAR(double(totals["cost"]), opus55 + opus5, 1e-9);

    const Exit table = home.programs.run({kCli, "report", "daily", "--tz", "UTC"});
    ASSERT_EQ(table.code, 0) << table.err;
    EXPECT_NE(table.out.find("Web searches"), std::string::npos) << table.out;
    EXPECT_NE(table.out.find("1 fast reply on models without a fast-mode price in the book is "
                             "counted at standard rates."),
              std::string::npos)
        << table.out;
    EXPECT_NE(table.out.find("4 web searches: the book has no price for them; they are not in "
                             "the costs."),
              std::string::npos);
}

TEST(ReportProgramTest, MistakesAreOneLineAndExitTwo) {
    TestHome home;
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{kCli, "report", "yearly"},
          {kCli, "report"},
          {kCli, "report", "daily", "--since", "2026-02-30"},
          {kCli, "report", "daily", "--until", "yesterday"},
          {kCli, "report", "daily", "--tz", "Mars/Olympus_Mons"},
          {kCli, "report", "daily", "--tz", "../../etc/passwd"},
          {kCli, "report", "weekly", "--week-start", "friday"},
          {kCli, "report", "daily", "--since", "2026-12-02", "--until", "2026-12-01"}}) {
        const Exit e = home.programs.run(args);
        EXPECT_EQ(e.code, 2) << args.back();
        EXPECT_EQ(std::count(e.err.begin(), e.err.end(), '\n'), 1) << e.err;
        EXPECT_EQ(e.out, "");
    }
}

TEST(ReportProgramTest, AHistoryFromANewerVersionIsLeftAlone) {
    TestHome home;
    const auto file = home.dir / ".local/share/Vellumkite/history.sqlite3";
    {
        auto opened = HistoryDatabase::open(file);
        ASSERT_TRUE(opened.db && opened.db->exec("PRAGMA user_version = 7"));
    }
    const auto size = std::filesystem::file_size(file);
    const Exit e = home.programs.run({kCli, "report", "daily"});
    EXPECT_EQ(e.code, 1);
    EXPECT_NE(e.err.find("newer version"), std::string::npos) << e.err;
    EXPECT_EQ(std::filesystem::file_size(file), size);
}
