// The price book's rules one by one, against costs worked out by hand from the published rates.
#include "PriceTable.hpp"

#include "LocalDate.hpp"
#include "LogLines.hpp"
#include "PriceLoader.hpp"
#include "TempDir.hpp"
#include "UsageTotals.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace vellumkite;
using namespace vellumkite::testing;
namespace fs = std::filesystem;

namespace {

constexpr double kMillionth = 1e-6;

std::int64_t day(const char* text) {
    return std::chrono::sys_days{LocalDate::parse(text)->ymd}.time_since_epoch().count();
}

UsageTotals usage(std::int64_t input, std::int64_t cacheWrite, std::int64_t cacheWrite1h,
                  std::int64_t cacheRead, std::int64_t output, std::int64_t replies = 1) {
    UsageTotals u;
    u.input = input;
    u.cacheWrite = cacheWrite;
    u.cacheWrite1h = cacheWrite1h;
    u.cacheRead = cacheRead;
    u.output = output;
    u.replies = replies;
    return u;
}

// A class of one prompt size, as the history keeps it with the book's bands.
UsageClass on(const char* date, std::int64_t above = 0, std::optional<std::int64_t> atMost = {}) {
    return {day(date), false, false, above, atMost};
}

} // namespace

TEST(PriceTableTest, ModelsAreFoundByIdWithout1mOrByADatedIdAndNeverGuessed) {
    const PriceTable book = PriceTable::builtIn();
    const auto* opus55 = book.find("claude-opus-5-5");
    ASSERT_TRUE(opus55);
    EXPECT_EQ(book.find("claude-opus-5-5[1m]"), opus55);
    EXPECT_EQ(book.find("claude-opus-5-5-20260915"), opus55) << "a dated id";
    EXPECT_EQ(book.find("claude-opus-5-5-20260915[1m]"), opus55);
    EXPECT_EQ(book.find("claude-opus-4-20250514"), book.find("claude-opus-4"));
    EXPECT_EQ(book.find("claude-opus-4-5-20251101"), book.find("claude-opus-4-5"))
        << "the longest id that fits, not claude-opus-4";
    EXPECT_FALSE(book.find("claude-opus-5-7")) << "a newer version is not the older one";
    EXPECT_FALSE(book.find("claude-opus-4-9"));
    EXPECT_FALSE(book.find("claude-opus-5-5-2026091")) << "only a whole date";
    EXPECT_FALSE(book.find("claude-haiku"));
    EXPECT_FALSE(book.find("<synthetic>"));
    EXPECT_FALSE(book.find("[1m]"));
    EXPECT_EQ(PriceTable::reportId("claude-opus-5-5[1m]"), "claude-opus-5-5");

    const auto unknown = book.cost("claude-opus-6", on("2026-12-01"), usage(1000, 0, 0, 0, 10));
    EXPECT_FALSE(unknown.total());
    EXPECT_EQ(unknown.priced, 0);
}

TEST(PriceTableTest, EachRuleAgainstAHandComputation) {
    PriceTable book = PriceTable::builtIn();

    // Sonnet 5.5's cache reads went from $0.20 to $0.10 on 2026-10-07 (UTC).
    const auto reads = usage(1000, 0, 0, 1'000'000, 500);
    const auto sonnet = [&](const char* date) {
        return *book.cost("claude-sonnet-5-5", on(date), reads).total();
    };
    EXPECT_NEAR(sonnet("2026-10-06"), (2 * 1000 + 0.20 * 1e6 + 10 * 500) / 1e6, kMillionth);
    EXPECT_NEAR(sonnet("2026-10-07"), (2 * 1000 + 0.10 * 1e6 + 10 * 500) / 1e6, kMillionth);
    EXPECT_NEAR(sonnet("2026-09-01"), sonnet("2026-10-06"), kMillionth)
        << "a day before the first period (a clock that was off) takes the first";

    // Opus 4.6: 5-minute writes at $6.25, 1-hour writes at $10.
    EXPECT_NEAR(
        *book.cost("claude-opus-4-6", on("2026-03-01"), usage(10, 3000, 2000, 0, 100)).total(),
        (5 * 10 + 6.25 * 1000 + 10 * 2000 + 25 * 100) / 1e6, kMillionth);

    // Haiku 5.5's band: a prompt of 100,000 is within it, 100,001 above it, where every count
    // takes the higher rates. A class straddling the threshold cannot be priced.
    const auto haiku = [&](std::int64_t input, const UsageClass& c) {
        return book.cost("claude-haiku-5-5", c, usage(input, 0, 0, 0, 1000)).total();
    };
    EXPECT_NEAR(*haiku(100'000, on("2026-11-02", 0, 100'000)), (0.10 * 100'000 + 0.50 * 1000) / 1e6,
                kMillionth);
    EXPECT_NEAR(*haiku(100'001, on("2026-11-02", 100'000, 200'000)),
                (0.50 * 100'001 + 2.50 * 1000) / 1e6, kMillionth);
    EXPECT_FALSE(haiku(150'000, on("2026-11-02", 0, std::nullopt)));
    // Its cache reads at the standard tenth of input.
    const auto withReads =
        book.cost("claude-haiku-5-5", on("2026-11-02", 0, 100'000), usage(10, 0, 0, 5000, 10));
    EXPECT_NEAR(*withReads.total(), (0.10 * 10 + 0.01 * 5000 + 0.50 * 10) / 1e6, kMillionth);

    // Fast mode: Opus 5 at twice every rate; Opus 5.5's multiplier is not published, so its fast
    // replies are priced at standard rates and counted.
    const auto opusUsage = usage(1000, 2000, 0, 0, 1000, 3);
    UsageClass fast = on("2026-11-03");
    fast.fast = true;
    const auto opus5 = book.cost("claude-opus-5", fast, opusUsage);
    EXPECT_NEAR(*opus5.total(), 2 * (5 * 1000 + 6.25 * 2000 + 25 * 1000) / 1e6, kMillionth);
    EXPECT_EQ(opus5.fastUnpriced, 0);
    const auto opus55 = book.cost("claude-opus-5-5", fast, opusUsage);
    EXPECT_NEAR(*opus55.total(), (4 * 1000 + 5 * 2000 + 20 * 1000) / 1e6, kMillionth);
    EXPECT_EQ(opus55.fastUnpriced, 3);

    // US-only inference: 1.1 times the tokens' cost, on top of fast mode.
    UsageClass us = fast;
    us.usOnly = true;
    EXPECT_NEAR(*book.cost("claude-opus-5", us, opusUsage).total(),
                1.1 * 2 * (5 * 1000 + 6.25 * 2000 + 25 * 1000) / 1e6, kMillionth);

    // Web searches: $10 per 1,000, neither fast nor US-only changing it.
    auto searches = usage(1000, 0, 0, 0, 0);
    searches.webSearches = 3;
    const auto withFee = book.cost("claude-opus-5", us, searches);
    EXPECT_NEAR(*withFee.total(), 1.1 * 2 * 5 * 1000 / 1e6 + 3 * 10 / 1000.0, kMillionth);
    EXPECT_EQ(withFee.searchesUnpriced, 0);
}

TEST(PriceTableTest, AUsersFileAddsOrReplacesModelsAndItsMistakesAreNamed) {
    TempDir dir;
    PriceTable book = PriceTable::builtIn();
    // The form of the first price files, flat rates, still reads.
    writeFile(dir / "prices.json",
              R"({"models": {"claude-haiku-4-5": {"input": 2, "cacheWrite5m": 2.5,)"
              R"( "cacheWrite1h": 4, "cacheRead": 0.2, "output": 10},)"
              R"( "my-model": {"family": "Opus", "periods": [{"input": 1, "output": 1},)"
              R"( {"from": "2026-12-01", "input": 2, "output": 2}], "checked": "2026-12-01"}}})");
    std::string error;
    ASSERT_TRUE(book.mergeFile(dir / "prices.json", PriceTable::Origin::user, &error)) << error;
    EXPECT_EQ(book.find("claude-haiku-4-5-20251001")->periods[0].rates.input, 2);
    EXPECT_EQ(book.find("claude-haiku-4-5")->origin, PriceTable::Origin::user);
    EXPECT_EQ(book.family("my-model"), "Opus");
    EXPECT_EQ(book.find("claude-opus-4-5")->origin, PriceTable::Origin::builtIn)
        << "models the file does not name stay";
    EXPECT_NEAR(*book.cost("my-model", on("2026-12-01"), usage(1'000'000, 0, 0, 0, 0)).total(), 2,
                kMillionth);

    const std::size_t before = book.size();
    const std::pair<const char*, const char*> wrong[] = {
        {"not json", "not JSON"},
        {R"([1, 2])", "not a JSON object"},
        {R"({"model": {}})", "unknown member \"model\""},
        {R"({"models": {"x": {"input": 1500, "output": 1}}})",
         "x input is $1,500 per million tokens, above $1,000"},
        {R"({"models": {"x": {"input": 0.000003, "output": 1, "inptu": 1}}})",
         "x: unknown member \"inptu\""},
        {R"({"models": {"x": {"input": -1}}})", "x input is not a price"},
        {R"({"models": {"x": {"periods": [{"from": "2026-12-01", "input": 1},)"
         R"( {"from": "2026-11-01", "input": 2}]}}})",
         "x period 2 needs a later \"from\""},
        {R"({"models": {"x": {"input": 1, "above": {"input": 2}}}})", "x: unknown member"},
        {R"({"models": {"x": {"periods": [{"input": 1, "above": {"input": 2}}]}}})",
         "x has rates above a band but no threshold"},
        {R"({"models": {"x": {"input": 1, "fast": 0.5}}})", "x fast is 0.5, below 1"},
        {R"({"models": {"x": {"input": 1, "checked": "yesterday"}}})", "x checked is not a day"},
        {R"({"version": 3, "models": {}})", "newer version of Vellumkite"},
    };
    for (const auto& [text, why] : wrong) {
        error.clear();
        EXPECT_FALSE(book.merge(text, PriceTable::Origin::user, &error)) << text;
        EXPECT_NE(error.find(why), std::string::npos) << text << " said: " << error;
    }
    EXPECT_EQ(book.size(), before) << "a refused file changes nothing";
    EXPECT_FALSE(book.find("x"));
}

TEST(PriceTableTest, AFileThatCannotBeTakenIsNamedWithTheReasonAndOnlyOnce) {
    TempDir dir;
    const auto config = dir / "config";
    ScopedEnv env("XDG_CONFIG_HOME", config.c_str());
    const auto file = config / "Vellumkite/prices.json";
    fs::create_directories(file.parent_path());
    const auto problems = [] {
        std::vector<std::string> out;
        (void)PriceTable::standard(&out);
        return out;
    };
    EXPECT_TRUE(problems().empty()) << "no file is no problem";

    // A folder, a FIFO (which would block a reader forever) and /dev/zero (which never ends)
    // are never read, and each is named with why.
    fs::create_directory(file);
    ASSERT_EQ(problems().size(), 1u);
    EXPECT_NE(problems()[0].find(file.string() + " is ignored: it is not a regular file"),
              std::string::npos)
        << problems()[0];
    fs::remove(file);
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    EXPECT_NE(problems().at(0).find("not a regular file"), std::string::npos);
    fs::remove(file);
    fs::create_symlink("/dev/zero", file);
    EXPECT_NE(problems().at(0).find("not a regular file"), std::string::npos);
    fs::remove(file);

    // A long-running program says it once, reads the file again when it changes, and takes a
    // good one at once.
    writeFile(file, R"({"models": {"claude-opus-5": {"input": 2000, "output": 1}}})");
    std::vector<std::string> said;
    PriceLoader loader([&](const std::string& line) { said.push_back(line); });
    EXPECT_EQ(loader.current().find("claude-opus-5")->periods[0].rates.input, 5)
        << "the book without the file";
    (void)loader.current();
    ASSERT_EQ(said.size(), 1u);
    EXPECT_NE(said[0].find(file.string() + " is ignored: claude-opus-5 input is $2,000"),
              std::string::npos)
        << said[0];
    writeFile(file, R"({"models": {"claude-opus-5": {"input": 2, "output": 1}}})");
    EXPECT_EQ(loader.current().find("claude-opus-5")->periods[0].rates.input, 2);
    EXPECT_EQ(said.size(), 1u);
}
