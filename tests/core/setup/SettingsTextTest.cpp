// Editing the assistant's settings as text: only "statusLine" changes, in the file's own style,
// and taking ours out again gives back the bytes that were there.
#include "SettingsText.hpp"

#include "ShellWords.hpp"
#include "StatusLineCommand.hpp"

#include <algorithm>
#include <gtest/gtest.h>

using namespace vellumkite;

namespace {

const std::string kOurs = "/opt/vk/bin/vellumkite-statusline";

std::string on(const std::string& text, const std::string& command = kOurs) {
    const SettingsText s(text);
    EXPECT_TRUE(s.valid()) << s.error();
    return s.withCommand(command);
}

std::string off(const std::string& text) {
    return SettingsText(text).withStatusLine(std::nullopt);
}

} // namespace

TEST(SettingsTextTest, AddsTheMemberInTheFilesOwnStyleAndRemovesItCleanly) {
    struct Case {
        const char* name;
        std::string before, after;
    };
    const std::vector<Case> cases = {
        {"two spaces", "{\n  \"model\": \"opus\"\n}\n",
         "{\n  \"model\": \"opus\",\n  \"statusLine\": {\n    \"type\": \"command\",\n    "
         "\"command\": \"" +
             kOurs + "\"\n  }\n}\n"},
        {"tabs and CRLF", "{\r\n\t\"a\": [1, {\"b\": \"}\"}]\r\n}",
         "{\r\n\t\"a\": [1, {\"b\": \"}\"}],\r\n\t\"statusLine\": {\r\n\t\t\"type\": "
         "\"command\",\r\n"
         "\t\t\"command\": \"" +
             kOurs + "\"\r\n\t}\r\n}"},
        {"one line", R"({"a":1,"b":"x"})",
         R"({"a":1,"b":"x","statusLine":{"type":"command","command":")" + kOurs + "\"}}"},
        {"one line, spaced", R"({ "a": 1 })",
         R"({ "a": 1, "statusLine": {"type": "command", "command": ")" + kOurs + "\"} }"},
        {"empty object", "{}\n",
         "{\n  \"statusLine\": {\n    \"type\": \"command\",\n    \"command\": \"" + kOurs +
             "\"\n  }\n}\n"},
        // An editor's byte-order mark stays where it was.
        {"byte-order mark", "\xEF\xBB\xBF{\"a\": 1}",
         "\xEF\xBB\xBF{\"a\": 1,\"statusLine\": {\"type\": \"command\", \"command\": \"" + kOurs +
             "\"}}"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string edited = on(c.before);
        EXPECT_EQ(edited, c.after);
        EXPECT_EQ(SettingsText(edited).command(), kOurs);
        EXPECT_EQ(off(edited), c.before);
    }
    // Blank and missing files become the assistant's own layout.
    EXPECT_EQ(on(" \n"), "{\n  \"statusLine\": {\n    \"type\": \"command\",\n    \"command\": \"" +
                             kOurs + "\"\n  }\n}\n");
    EXPECT_EQ(on("\xEF\xBB\xBF\n"), "\xEF\xBB\xBF" + on(""));
}

TEST(SettingsTextTest, ChangesOnlyTheCommandOfAnExistingStatusLine) {
    const std::string before =
        "{\n  \"statusLine\": {\"padding\": 2, \"command\": \"old \\\"x\\\"\","
        " \"type\": \"command\"},\n  \"z\": {\"statusLine\": 1}\n}";
    const SettingsText s(before);
    EXPECT_EQ(s.command(), "old \"x\"");
    EXPECT_EQ(s.statusLine(), R"({"padding": 2, "command": "old \"x\"", "type": "command"})");
    EXPECT_EQ(s.withCommand("new 'é' \\ \n"),
              "{\n  \"statusLine\": {\"padding\": 2, \"command\": \"new 'é' \\\\ \\n\", \"type\": "
              "\"command\"},\n  \"z\": {\"statusLine\": 1}\n}");
    // The member's whole value can be put back as it was written.
    EXPECT_EQ(SettingsText(s.withCommand("x")).withStatusLine(*s.statusLine()), before);
}

TEST(SettingsTextTest, ReplacesAStatusLineItCannotChain) {
    // Not of type "command", not an object, no command string: the whole value goes.
    for (const std::string value : {R"({"type": "static", "command": "x"})", R"("just text")",
                                    R"({"padding": 1})", R"({"command": 7})"}) {
        SCOPED_TRACE(value);
        const SettingsText s("{\"statusLine\": " + value + ", \"b\": 2}");
        EXPECT_FALSE(s.command().has_value());
        EXPECT_EQ(s.withCommand("c"),
                  R"({"statusLine": {"type": "command", "command": "c"}, "b": 2})");
    }
}

TEST(SettingsTextTest, TheLastOfDuplicateKeysCountsAndOnlyItChanges) {
    const SettingsText s(R"({"statusLine": {"command": "a"}, "statusLine": {"command": "b"}})");
    EXPECT_EQ(s.command(), "b");
    EXPECT_EQ(s.withCommand("c"),
              R"({"statusLine": {"command": "a"}, "statusLine": {"command": "c"}})");
    EXPECT_EQ(s.withStatusLine(std::nullopt), R"({"statusLine": {"command": "a"}})");
    EXPECT_EQ(off(R"({"statusLine": 1, "b": 2})"), R"({"b": 2})");
}

TEST(SettingsTextTest, RefusesWhatIsNotOneJsonObject) {
    for (const char* text :
         {"{\"a\": 1,}", "[1]", "\"x\"", "{\"a\": 1} {}", "\xEF\xBB\xBF[]",
          "\xEF\xBB\xBF\xEF\xBB\xBF{}", "{\"a\": \"\xFF\"}", "// comment\n{}", "{\"a\": 1"}) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(SettingsText(text).valid());
        EXPECT_FALSE(SettingsText(text).error().empty());
    }
}

TEST(StatusLineCommandTest, ChainsAnyPreviousCommandSoThatItRunsUnchanged) {
    const std::filesystem::path program = "/home/a b/it's/vellumkite-statusline";
    EXPECT_EQ(StatusLineCommand::chain(program, "  "),
              "'/home/a b/it'\\''s/vellumkite-statusline'");
    EXPECT_EQ(StatusLineCommand::chain("/usr/bin/vellumkite-statusline", " ~/s.sh --x 'a b' "),
              "/usr/bin/vellumkite-statusline -- ~/s.sh --x 'a b'");
    EXPECT_EQ(StatusLineCommand::chain("/usr/bin/vellumkite-statusline", "jq -r .x | head -1"),
              "/usr/bin/vellumkite-statusline -- sh -c 'jq -r .x | head -1'");
    // Whatever the previous command, ours parses as first and gives it back unchanged.
    for (const std::string previous :
         {"a", "~/bin/s.sh", "a 'b c' \"d\\\"e\"", "a | b", "FOO=1 bar", "echo $HOME", "x; y",
          "if true; then echo; fi", "printf '%s' \"it's\"", "a && b > /dev/null", "echo `date`",
          "'unclosed", "sh -c 'x'"}) {
        SCOPED_TRACE(previous);
        const auto parsed = StatusLineCommand::parse(StatusLineCommand::chain(program, previous));
        EXPECT_TRUE(parsed.ours);
        EXPECT_EQ(parsed.program, program.string());
        EXPECT_EQ(parsed.problem, "");
        // A command that already was "sh -c X" comes back as X: the same thing run.
        EXPECT_EQ(parsed.chained, previous == "sh -c 'x'" ? "x" : previous);
    }
}

TEST(StatusLineCommandTest, ALineThatStartsWithWhatTheShellRunsItselfGoesThroughTheShell) {
    const std::filesystem::path program = "/usr/bin/vellumkite-statusline";
    std::vector<std::string> words(ShellWords::builtins().begin(), ShellWords::builtins().end());
    // Among them the ones most often written first, and ones that are programs on PATH too.
    for (const std::string name : {".", "[", "[[", "cd", "echo", "exec", "printf", "test", "wait"})
        EXPECT_NE(std::find(words.begin(), words.end(), name), words.end()) << name;
    // Reserved words too.
    words.insert(words.end(), {"while", "!"});
    for (const std::string& builtin : words) {
        for (const std::string& previous : {builtin + " ~/s.sh", "'" + builtin + "' x"}) {
            SCOPED_TRACE(previous);
            const std::string chained = StatusLineCommand::chain(program, previous);
            EXPECT_EQ(chained, program.string() + " -- sh -c " + ShellWords::quote(previous));
            EXPECT_EQ(StatusLineCommand::parse(chained).chained, previous);
        }
    }
    // A program of that name elsewhere is a plain program.
    EXPECT_EQ(StatusLineCommand::chain(program, "/opt/bin/exec x"),
              program.string() + " -- /opt/bin/exec x");
}

TEST(StatusLineCommandTest, TellsOursFromOthersAndWhatWouldNotRun) {
    const auto cli = StatusLineCommand::parse("vellumkite-cli statusline -- ~/s.sh");
    EXPECT_TRUE(cli.ours);
    EXPECT_EQ(cli.chained, "~/s.sh");
    EXPECT_FALSE(StatusLineCommand::parse("~/bin/other -- vellumkite-statusline").ours);
    EXPECT_FALSE(StatusLineCommand::parse("FOO=1 vellumkite-statusline").ours);
    EXPECT_FALSE(StatusLineCommand::parse("").ours);
    EXPECT_NE(StatusLineCommand::parse("vellumkite-statusline ~/s.sh").problem, "");
    EXPECT_NE(StatusLineCommand::parse("vellumkite-statusline --").problem, "");
    EXPECT_NE(StatusLineCommand::parse("vellumkite-statusline -- a | b").problem, "");
    EXPECT_EQ(StatusLineCommand::parse("'/a b/vellumkite-statusline'").program,
              "/a b/vellumkite-statusline");
}

TEST(ShellWordsTest, QuotesOnlyWhatTheShellWouldReadOtherwise) {
    EXPECT_EQ(ShellWords::quote("/usr/bin/x-y_z.1"), "/usr/bin/x-y_z.1");
    EXPECT_EQ(ShellWords::quote("~/x"), "'~/x'");
    EXPECT_EQ(ShellWords::quote(""), "''");
    const auto w = ShellWords::split("a\\ b \"c$d\" 'e\"f' # g");
    ASSERT_EQ(w.words.size(), 3u);
    EXPECT_EQ(w.words[0].text, "a b");
    EXPECT_EQ(w.words[1].text, "c$d");
    EXPECT_EQ(w.words[2].text, "e\"f");
    EXPECT_TRUE(w.expansions);
    EXPECT_FALSE(w.operators);
}
