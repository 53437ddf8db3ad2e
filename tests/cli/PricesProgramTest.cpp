// "vellumkite-cli prices" and "prices import" as a user runs them: the real binary, a home of its
// own, a history made by "report", price files brought by hand.
#include "DoctorLine.hpp"
#include "TestHome.hpp"

#include <gtest/gtest.h>
#include <simdjson.h>

using namespace vellumkite;
using namespace vellumkite::testing;
namespace fs = std::filesystem;

namespace {

// Entries as the LiteLLM map has them (dollars per token), with a reseller's, another vendor's
// and the map's own description, which are passed over.
constexpr const char* kLiteLlm = R"({
  "sample_spec": {"input_cost_per_token": 0.0, "output_cost_per_token": 0.0},
  "claude-opus-4-6": {"cache_creation_input_token_cost": 6.25e-06,
    "cache_creation_input_token_cost_above_1hr": 1e-05, "cache_read_input_token_cost": 5e-07,
    "input_cost_per_token": 5e-06, "litellm_provider": "anthropic", "mode": "chat",
    "output_cost_per_token": 2.5e-05,
    "search_context_cost_per_query": {"search_context_size_high": 0.01,
      "search_context_size_low": 0.01, "search_context_size_medium": 0.01},
    "provider_specific_entry": {"us": 1.1, "fast": 6.0}},
  "claude-sonnet-4-5-20250929": {"cache_creation_input_token_cost": 3.75e-06,
    "cache_creation_input_token_cost_above_1hr": 6e-06,
    "cache_creation_input_token_cost_above_1hr_above_200k_tokens": 1.2e-05,
    "cache_read_input_token_cost": 3e-07, "input_cost_per_token": 3e-06,
    "input_cost_per_token_above_200k_tokens": 6e-06,
    "output_cost_per_token_above_200k_tokens": 2.25e-05,
    "cache_creation_input_token_cost_above_200k_tokens": 7.5e-06,
    "cache_read_input_token_cost_above_200k_tokens": 6e-07, "litellm_provider": "anthropic",
    "mode": "chat", "output_cost_per_token": 1.5e-05,
    "search_context_cost_per_query": {"search_context_size_medium": 0.01}},
  "claude-haiku-4-5-20251001": {"cache_creation_input_token_cost": 1.25e-06,
    "cache_creation_input_token_cost_above_1hr": 2e-06, "cache_read_input_token_cost": 1e-07,
    "input_cost_per_token": 1e-06, "litellm_provider": "anthropic", "mode": "chat",
    "output_cost_per_token": 5e-06},
  "claude-opus-7": {"input_cost_per_token": 7e-06, "output_cost_per_token": 3.5e-05,
    "cache_read_input_token_cost": 7e-07, "litellm_provider": "anthropic", "mode": "chat"},
  "claude-reseller-only": {"input_cost_per_token": 1e-06, "output_cost_per_token": 1e-06,
    "litellm_provider": "bedrock"},
  "gpt-4o": {"input_cost_per_token": 2.5e-06, "output_cost_per_token": 1e-05}
})";

struct PricesHome : TestHome {
    fs::path userFile() const { return dir / ".config/Vellumkite/prices.json"; }

    // A history with a model the book knows and one it does not.
    void history() {
        Reply known;
        known.messageId = "m1";
        known.timestamp = "2026-11-30T10:00:00.000Z";
        known.model = "claude-opus-4-6";
        known.input = 1000;
        Reply unknown = known;
        unknown.messageId = "m2";
        unknown.model = "claude-opus-7[1m]";
        unknown.input = 2'000'000;
        unknown.output = 100;
        writeFile(chatFile("s1"), replyLine(known) + "\n" + replyLine(unknown) + "\n");
        ASSERT_EQ(programs.run({kCli, "report", "daily"}).code, 0);
    }
};

} // namespace

TEST(PricesProgramTest, ListsTheBookWhereEachEntryCameFromAndWhatHasNoPrice) {
    PricesHome home;
    home.history();
    const Exit text = home.programs.run({kCli, "prices"});
    ASSERT_EQ(text.code, 0) << text.err;
    EXPECT_TRUE(has(text.out, "Price book checked 2026-12-07")) << text.out;
    EXPECT_TRUE(has(text.out, "claude-sonnet-5-5  Sonnet\n"
                              "  from 2026-09-28        2 / 2.50 / 4 / 0.20 / 10\n"
                              "  from 2026-10-07        2 / 2.50 / 4 / 0.10 / 10\n"))
        << text.out;
    EXPECT_TRUE(has(text.out, "    above 100,000 tokens 0.50 / 0.625 / 1 / 0.05 / 2.50"))
        << text.out;
    EXPECT_TRUE(has(text.out, "claude-opus-5  Opus \u00b7 fast mode \u00d72\n"));
    EXPECT_TRUE(has(text.out, "US-only inference  \u00d71.1 on every token"));
    EXPECT_TRUE(has(text.out, "Models in the history without a price:\n"
                              "  claude-opus-7  2,000,100 tokens\n"))
        << "its [1m] use under its own id";
    EXPECT_TRUE(has(text.out, "vellumkite-cli prices import FILE"));

    const Exit json = home.programs.run({kCli, "prices", "--json"});
    ASSERT_EQ(json.code, 0) << json.err;
    simdjson::dom::parser parser;
    simdjson::dom::element j;
    ASSERT_EQ(parser.parse(json.out).get(j), simdjson::SUCCESS) << json.out;
    EXPECT_EQ(std::string_view(j["priceBook"]), "2026-12-07");
    EXPECT_DOUBLE_EQ(double(j["usOnly"]["multiplier"]), 1.1);
    EXPECT_DOUBLE_EQ(double(j["webSearch"]["perThousand"]), 10);
    bool sawHaiku = false;
    for (simdjson::dom::element m : simdjson::dom::array(j["models"]))
        if (std::string_view(m["model"]) == "claude-haiku-5-5") {
            sawHaiku = true;
            EXPECT_EQ(std::string_view(m["family"]), "Haiku");
            EXPECT_EQ(std::string_view(m["origin"]), "built in");
            EXPECT_EQ(std::int64_t(m["threshold"]), 100000);
            EXPECT_DOUBLE_EQ(double(m["periods"].at(0)["cacheRead"]), 0.01);
            EXPECT_DOUBLE_EQ(double(m["periods"].at(0)["above"]["input"]), 0.5);
        }
    EXPECT_TRUE(sawHaiku);
    EXPECT_EQ(simdjson::minify(j["unpricedModels"]),
              R"([{"model":"claude-opus-7","totalTokens":2000100,"replies":1}])");

    // The doctor names it too, as a warning.
    const Exit doctor = home.programs.run({kCli, "doctor"});
    EXPECT_EQ(doctorLine(doctor.out, "Prices"),
              "! Prices          1 model in the history without a price: claude-opus-7")
        << doctor.out;
}

TEST(PricesProgramTest, ImportTakesTheClaudePricesOfALiteLlmMapAfterShowingThem) {
    PricesHome home;
    home.history();
    const fs::path map = home.dir / "model_prices.json";
    writeFile(map, kLiteLlm);

    // Without --yes: the changes, and nothing written.
    const Exit shown = home.programs.run({kCli, "prices", "import", map.string()});
    EXPECT_EQ(shown.code, 1);
    EXPECT_TRUE(has(shown.err, "nothing was changed")) << shown.err;
    EXPECT_FALSE(fs::exists(home.userFile()));
    EXPECT_TRUE(has(shown.out,
                    "  claude-opus-7  Opus  (new)\n"
                    "    then: always                 7 / \u2014 / \u2014 / 0.70 / 35\n"))
        << shown.out;
    // What the book already has (the band of Sonnet 4.5, the search fee) is not written again.
    EXPECT_TRUE(has(shown.out, "3 other models have the prices the book already has.\n"));
    EXPECT_FALSE(has(shown.out, "Web searches"));
    EXPECT_FALSE(has(shown.out, "reseller"));
    EXPECT_FALSE(has(shown.out, "gpt-4o"));

    const Exit done = home.programs.run({kCli, "prices", "import", map.string(), "--yes"});
    ASSERT_EQ(done.code, 0) << done.err;
    EXPECT_TRUE(has(done.out, "Done: " + home.userFile().string()));
    EXPECT_EQ(fs::status(home.userFile()).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    const Exit again = home.programs.run({kCli, "prices", "import", map.string(), "--yes"});
    EXPECT_EQ(again.code, 0);
    EXPECT_TRUE(has(again.out, "Nothing to change")) << again.out;

    // The report prices the new model now, and it is no longer without a price.
    const Exit report = home.programs.run({kCli, "report", "models", "--json"});
    simdjson::dom::parser parser;
    simdjson::dom::element j;
    ASSERT_EQ(parser.parse(report.out).get(j), simdjson::SUCCESS) << report.out;
    EXPECT_EQ(simdjson::minify(j["unpricedModels"]), "[]");
    bool priced = false;
    for (simdjson::dom::element row : simdjson::dom::array(j["rows"]))
        if (std::string_view(row["period"]) == "claude-opus-7") {
            EXPECT_NEAR(double(row["cost"]), (7 * 2'000'000 + 35 * 100) / 1e6, 1e-6);
            priced = true;
        }
    EXPECT_TRUE(priced) << report.out;
    const Exit listing = home.programs.run({kCli, "prices"});
    EXPECT_TRUE(has(listing.out, "Every model in the history has a price.")) << listing.out;
    EXPECT_TRUE(has(listing.out, "Web searches       $10 per 1,000\n"));

    // A second import keeps what the first wrote, beside a backup of the file as it was.
    const std::string first = readFile(home.userFile());
    writeFile(map, R"({"claude-opus-7": {"input_cost_per_token": 6e-06,)"
                   R"( "output_cost_per_token": 3e-05}})");
    ASSERT_EQ(home.programs.run({kCli, "prices", "import", map.string(), "--yes"}).code, 0);
    int backups = 0;
    for (const auto& e : fs::directory_iterator(home.userFile().parent_path()))
        if (e.path().filename().string().starts_with("prices.json.vellumkite-")) {
            ++backups;
            EXPECT_EQ(readFile(e.path()), first);
        }
    EXPECT_EQ(backups, 1);
    EXPECT_TRUE(has(readFile(home.userFile()), "claude-opus-7"));
}

TEST(PricesProgramTest, AMalformedFileIsRefusedWithTheReasonAndTheUsersFileIsUntouched) {
    PricesHome home;
    const std::string mine =
        R"({"models": {"claude-mine-1": {"family": "Opus", "input": 1, "output": 2}}})";
    writeFile(home.userFile(), mine);
    const fs::path bad = home.dir / "bad.json";
    const std::pair<std::string, std::string> cases[] = {
        {"{\"claude-opus-7\": {\"input_cost_per_token\": ", "is not JSON"},
        {R"({"gpt-4o": {"input_cost_per_token": 1e-06, "output_cost_per_token": 1e-06}})",
         "there are no claude-* prices in it"},
        // Dollars per million written where dollars per token belong.
        {R"({"claude-opus-7": {"input_cost_per_token": 7, "output_cost_per_token": 35}})",
         "claude-opus-7: input_cost_per_token is $7,000,000 per million tokens, above $1,000"},
        {R"({"claude-opus-7": {"input_cost_per_token": "cheap", "output_cost_per_token": 3e-05}})",
         "claude-opus-7: input_cost_per_token is not a price"},
        {R"({"models": {"claude-opus-7": {"input": 7, "output": 35, "cacheRead": 1200}}})",
         "claude-opus-7 cacheRead is $1,200 per million tokens, above $1,000"},
    };
    for (const auto& [text, why] : cases) {
        SCOPED_TRACE(text);
        writeFile(bad, text);
        const Exit e = home.programs.run({kCli, "prices", "import", bad.string(), "--yes"});
        EXPECT_EQ(e.code, 1);
        EXPECT_TRUE(has(e.err, bad.string() + " is not a price file that can be imported: "))
            << e.err;
        EXPECT_TRUE(has(e.err, why)) << e.err;
        EXPECT_TRUE(has(e.err, "Nothing was changed.")) << e.err;
        EXPECT_EQ(readFile(home.userFile()), mine);
    }
    for (const auto& path : {home.dir / "missing.json", home.dir.path()}) {
        const Exit e = home.programs.run({kCli, "prices", "import", path.string(), "--yes"});
        EXPECT_EQ(e.code, 1);
        EXPECT_TRUE(has(e.err, "cannot import " + path.string())) << e.err;
    }
    EXPECT_EQ(readFile(home.userFile()), mine);
    EXPECT_EQ(home.programs.run({kCli, "prices", "import"}).code, 2);
    EXPECT_EQ(home.programs.run({kCli, "prices", "--yes"}).code, 2);

    // A price file of the user's that cannot be taken is named with the reason by every command
    // that prices, and by the doctor.
    writeFile(home.userFile(), R"({"models": {"claude-mine-1": {"input": 1500, "output": 2}}})");
    const Exit report = home.programs.run({kCli, "report", "daily"});
    EXPECT_TRUE(has(report.err, "the price file " + home.userFile().string() +
                                    " is ignored: claude-mine-1 input is $1,500 per million "
                                    "tokens, above $1,000"))
        << report.err;
    const Exit doctor = home.programs.run({kCli, "doctor"});
    EXPECT_TRUE(has(doctorLine(doctor.out, "Prices"), "! Prices          the price file"))
        << doctor.out;
}
