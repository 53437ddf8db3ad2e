// The status-bar snippets of docs/status-bars.md, taken from the document as users copy them and
// run with the real program on a prepared home: each bar gets output of the shape it reads.
#include "TestHome.hpp"

#include <gtest/gtest.h>
#include <regex>
#include <simdjson.h>

using namespace vellumkite;
using namespace vellumkite::testing;
namespace fs = std::filesystem;

namespace {

const fs::path kCli = VELLUMKITE_CLI_PATH;
const fs::path kDoc = fs::path(VELLUMKITE_SOURCE_DIR) / "docs/status-bars.md";

// The first capture of the pattern in the document; fails the test when it is not there.
std::string snippet(const std::string& doc, const std::string& pattern) {
    std::smatch m;
    const std::regex re(pattern, std::regex::multiline);
    EXPECT_TRUE(std::regex_search(doc, m, re)) << pattern;
    return m.size() > 1 ? m[1].str() : "";
}

class StatusBarSnippetsTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("command -v jq >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "jq is not installed";
        // The bars find the tool on PATH, as after an install.
        home.programs.setEnv("PATH", kCli.parent_path().string() + ":/usr/bin:/bin");
        doc = readFile(kDoc);
        ASSERT_FALSE(doc.empty()) << kDoc;
    }

    void limit(int percent) {
        writeFile(home.limitsFile(), R"({"rate_limits":{"five_hour":{"used_percentage":)" +
                                         std::to_string(percent) + R"(,"resets_at":)" +
                                         resetsInAnHour() + "}}}");
    }

    std::string run(const std::string& command) {
        const Exit e = home.programs.run({"/bin/sh", "-c", command});
        EXPECT_EQ(e.code, 0) << command << "\n" << e.err;
        return e.out;
    }

    TestHome home;
    std::string doc;
};

} // namespace

TEST_F(StatusBarSnippetsTest, WaybarGetsOneJsonObjectWithTextAndClass) {
    // The config block must itself be valid JSON, as Waybar reads it.
    const std::string block = snippet(doc, R"(```json\n([^`]*)```)");
    simdjson::dom::parser parser;
    std::string_view exec;
    ASSERT_EQ(parser.parse(block)["custom/vellumkite"]["exec"].get_string().get(exec),
              simdjson::SUCCESS)
        << block;
    limit(85);
    const std::string out = run(std::string(exec));
    ASSERT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
    simdjson::dom::element e;
    ASSERT_EQ(parser.parse(out).get(e), simdjson::SUCCESS) << out;
    EXPECT_EQ(std::string_view(e["text"]), "85%");
    EXPECT_EQ(std::string_view(e["class"]), "warn");
}

TEST_F(StatusBarSnippetsTest, PolybarI3blocksAndTmuxGetTheirLines) {
    const std::string polybar = snippet(doc, R"(^exec = (.*)$)");
    const std::string i3blocks = snippet(doc, R"(^command=(.*)$)");
    const std::string tmux = snippet(doc, R"(^set -g status-right '.*#\((.*)\).*'$)");

    limit(85);
    EXPECT_EQ(run(polybar), "%{F#ff9500}85%%{F-}\n");
    EXPECT_EQ(run(i3blocks), "85%\n85%\n#FF9500\n");
    EXPECT_EQ(run(tmux), "85%\n");
    limit(95);
    EXPECT_EQ(run(polybar), "%{F#ff3b30}95%%{F-}\n");
    EXPECT_EQ(run(i3blocks), "95%\n95%\n#FF3B30\n");
    // Without a reading nor a chat: the title's dash, uncoloured.
    fs::remove(home.limitsFile());
    EXPECT_EQ(run(polybar), "\u2013\n");
    EXPECT_EQ(run(i3blocks), "\u2013\n\u2013\n");
    EXPECT_EQ(run(tmux), "\u2013\n");
}
