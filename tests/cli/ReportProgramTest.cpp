// vellumkite-cli report as scripts run it: the real binary, a home of its own.
#include "DoctorLine.hpp"
#include "HistoryDatabase.hpp"
#include "OtherUser.hpp"
#include "TestHome.hpp"

#include <fstream>
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

// The input tokens of every reply the report counts, or -1 when it did not answer.
std::int64_t reportedInput(const Exit& e) {
    simdjson::dom::parser parser;
    std::int64_t input = -1;
    if (e.code != 0 ||
        parser.parse(e.out)["totals"]["input"].get_int64().get(input) != simdjson::SUCCESS)
        return -1;
    return input;
}

std::string historyFile(const TestHome& home) {
    return (home.dir / ".local/share/Vellumkite/history.sqlite3").string();
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

TEST(ReportProgramTest, WebSearchesAndFastRepliesAreCountedAndPricedOrSaidToHaveNoPrice) {
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
    // Opus 5.5 at standard rates, Opus 5 at twice them; the searches at $10 per 1,000.
    const double opus55 = (4 * 100 + 5 * 1000 + 0.2 * 20000 + 20 * 10) / 1e6 + 4 * 10.0 / 1000;
    const double opus5 = 2 * (5 * 100 + 6.25 * 1000 + 0.5 * 20000 + 25 * 10) / 1e6;
    EXPECT_NEAR(double(totals["cost"]), opus55 + opus5, 1e-9);

    const Exit table = home.programs.run({kCli, "report", "daily", "--tz", "UTC"});
    ASSERT_EQ(table.code, 0) << table.err;
    EXPECT_NE(table.out.find("Web searches"), std::string::npos) << table.out;
    EXPECT_NE(table.out.find("1 fast reply on models without a fast-mode price in the book is "
                             "counted at standard rates."),
              std::string::npos)
        << table.out;
    EXPECT_EQ(table.out.find("web searches: the book has no price"), std::string::npos);
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

    // The zone folder also holds files that are not zones; only a zone file names a zone.
    const auto zones = home.dir / "zoneinfo";
    std::filesystem::create_directories(zones / "Test");
    std::filesystem::copy_file("/usr/share/zoneinfo/UTC", zones / "Test/Zone");
    writeFile(zones / "leapseconds", "# Allowance for leap seconds added to each time zone\n");
    home.programs.setEnv("TZDIR", zones.string());
    for (const char* zone : {"leapseconds", "Test"}) {
        const Exit e = home.programs.run({kCli, "report", "daily", "--tz", zone});
        EXPECT_EQ(e.code, 2) << zone;
        EXPECT_EQ(e.err, "vellumkite-cli report: unknown time zone: " + std::string(zone) + "\n");
    }
    EXPECT_EQ(home.programs.run({kCli, "report", "daily", "--tz", "Test/Zone"}).code, 0);
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

TEST(ReportProgramTest, AHistoryThatCannotBeWrittenStillAnswersInFullAndIsLeftAsItIs) {
    // Ownership means something else to root: both are tried where both can be.
    for (const bool other : {false, true}) {
        SCOPED_TRACE(other ? "as another user" : "as this user");
        if (other && !OtherUser::unavailable(kCli).empty()) {
            std::cout << "[  SKIPPED ] as another user: " << OtherUser::unavailable(kCli) << "\n";
            continue;
        }
        TestHome home;
        const auto as = [&](std::vector<std::string> argv) {
            return other ? OtherUser::run(argv) : argv;
        };
        writeFile(home.chatFile("old"),
                  replyLine(replyAt("m1", isoAgo(3 * 86400).c_str(), "claude-opus-4-5", 100)) +
                      "\n");
        if (other)
            OtherUser::own(home.dir.path());
        ASSERT_EQ(home.programs.run(as({kCli, "report", "daily"})).code, 0);
        // The old chat's log is gone: only the history has it. A new one is not in it yet.
        std::filesystem::remove(home.chatFile("old"));
        writeFile(home.chatFile("new"),
                  replyLine(replyAt("m2", isoAgo(600).c_str(), "claude-opus-4-5", 20)) + "\n");
        if (other)
            OtherUser::own(home.dir.path());
        const auto file = historyFile(home);
        const auto folder = std::filesystem::path(file).parent_path();
        const auto entries = folderEntries(folder);
        const std::string bytes = readFile(file);

        struct Case {
            const char* name;
            uid_t owner;
            unsigned mode;
            std::string says, fix;
        };
        const uid_t me = other ? OtherUser::kUid : ::geteuid();
        std::vector<Case> cases = {{"read-only", me, 0400, "is read-only", "chmod u+w"}};
        if (::geteuid() == 0)
            cases.push_back({"another user's", other ? 0 : OtherUser::kUid, 0644,
                             "belongs to another user", "chown"});
        for (const auto& c : cases) {
            SCOPED_TRACE(c.name);
            ASSERT_EQ(::chown(file.c_str(), c.owner, c.owner), 0);
            ASSERT_EQ(::chmod(file.c_str(), c.mode), 0);
            const Exit e = home.programs.run(as({kCli, "report", "daily", "--json"}));
            EXPECT_EQ(e.code, 0) << e.err;
            EXPECT_EQ(reportedInput(e), 120) << "the old chat from the history, the new one "
                                                "from its log";
            EXPECT_NE(e.err.find(file + " " + c.says), std::string::npos) << e.err;
            EXPECT_NE(e.err.find("; it was left as it is."), std::string::npos);
            EXPECT_NE(e.err.find("could not be brought up to date"), std::string::npos);
            EXPECT_EQ(e.err.find("damaged"), std::string::npos) << e.err;
            // Nothing renamed, made beside it or written to it.
            EXPECT_EQ(folderEntries(folder), entries);
            EXPECT_EQ(readFile(file), bytes);
            EXPECT_EQ(fileMode(file), c.mode);

            const Exit doctor = home.programs.run(as({kCli, "doctor"}));
            const auto line = doctorLine(doctor.out, "History");
            EXPECT_TRUE(line.starts_with("\u2717 History         " + file + " " + c.says)) << line;
            EXPECT_NE(doctor.out.find(c.fix), std::string::npos) << doctor.out;
        }
    }
}

TEST(ReportProgramTest, ADamagedPageIsSetAsideAndRebuiltAndTheDoctorSaysSo) {
    TestHome home;
    for (const char* chat : {"a", "b"})
        writeFile(home.chatFile(chat),
                  replyLine(replyAt(chat, isoAgo(2 * 86400).c_str(), "claude-opus-4-5", 100)) +
                      "\n");
    ASSERT_EQ(home.programs.run({kCli, "report", "daily"}).code, 0);
    const auto file = historyFile(home);
    {
        // The page of the sums every report reads; the update itself never reads it.
        auto db = SqliteDatabase::open(file, SqliteDatabase::Mode::readOnly);
        ASSERT_TRUE(db);
        const auto page = db->queryInteger("SELECT rootpage FROM sqlite_schema "
                                           "WHERE name = 'day_sums'");
        const auto size = db->queryInteger("PRAGMA page_size");
        ASSERT_TRUE(page && size);
        std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp((*page - 1) * *size + 8);
        f << std::string(static_cast<std::size_t>(*size - 8), '\xa5');
    }
    Exit doctor = home.programs.run({kCli, "doctor"});
    EXPECT_EQ(doctorLine(doctor.out, "History"), "\u2717 History         " + file + " is damaged");
    EXPECT_EQ(doctor.code, 1);

    const Exit e = home.programs.run({kCli, "report", "daily", "--json"});
    EXPECT_EQ(e.code, 0) << e.err;
    EXPECT_EQ(reportedInput(e), 200);
    EXPECT_EQ(std::count(e.err.begin(), e.err.end(), '\n'), 1) << e.err;
    EXPECT_NE(e.err.find("set aside as history.sqlite3.corrupt-"), std::string::npos) << e.err;
    doctor = home.programs.run({kCli, "doctor"});
    EXPECT_TRUE(doctorLine(doctor.out, "History").starts_with("\u2713 History")) << doctor.out;
}
