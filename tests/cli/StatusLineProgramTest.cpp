// The status-line command as the assistant runs it: whatever arrives on standard input, it must
// answer with one line, at once, and never harm the saved readings.
#include "FileTime.hpp"
#include "LimitReading.hpp"
#include "Limits.hpp"
#include "TestHome.hpp"

#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>
#include <thread>

using namespace vellumkite;
using namespace vellumkite::testing;
namespace fs = std::filesystem;

namespace {

const std::vector<std::string> kSaved = {"limit-readings.jsonl", "statusline.json"};

// Resets in an hour and in a day, as the assistant would send them now.
const std::string kFiveResets = resetsInAnHour();
const long long kNowSeconds = std::stoll(kFiveResets) - 3600;
const std::string kWeekResets = std::to_string(kNowSeconds + 86400) + ".5";

std::string input(const std::string& fiveHour) {
    return R"({"session_id":"s","model":{"id":"claude-sonnet"},"rate_limits":{"five_hour":)" +
           fiveHour + R"(,"seven_day":{"used_percentage":18,"resets_at":)" + kWeekResets +
           R"(}},"context_window":{"current_usage":{"input_tokens":12,)"
           R"("cache_creation_input_tokens":1000,"cache_read_input_tokens":85000,)"
           R"("output_tokens":9}}})";
}

const std::string kInput = input(R"({"used_percentage":34.4,"resets_at":)" + kFiveResets + "}");

TEST(StatusLineProgramTest, SavesTheReadingsPrivatelyAndPrintsTheLine) {
    TestHome home;
    for (const auto& program :
         {std::vector<std::string>{kStatusLine}, std::vector<std::string>{kCli, "statusline"}}) {
        fs::remove_all(home.dir / ".local");
        const Exit e = home.programs.run(program, kInput);
        EXPECT_EQ(e.code, 0);
        EXPECT_EQ(e.out, "5h 34% \u00b7 wk 18% \u00b7 ctx 86k\n");
        EXPECT_EQ(readFile(home.limitsFile()),
                  R"({"rate_limits":{"five_hour":{"used_percentage":34.4,"resets_at":)" +
                      kFiveResets + R"(},"seven_day":{"used_percentage":18,"resets_at":)" +
                      kWeekResets + "}}}\n");
        // Every folder it made is the user's alone, and so is the file.
        EXPECT_EQ(fileMode(home.dir / ".local"), 0700u);
        EXPECT_EQ(fileMode(home.dir / ".local/share"), 0700u);
        EXPECT_EQ(fileMode(home.limitsFile().parent_path()), 0700u);
        EXPECT_EQ(fileMode(home.limitsFile()), 0600u);
        EXPECT_EQ(folderEntries(home.limitsFile().parent_path()), kSaved);
        EXPECT_EQ(fileMode(home.journal()), 0600u);
        // What the app reads back.
        const auto limits = Limits::load(home.limitsFile());
        ASSERT_TRUE(limits && limits->fiveHour && limits->sevenDay);
        EXPECT_EQ(limits->fiveHour->usedPercent, 34.4);
        EXPECT_EQ(limits->sevenDay->resetsAt, fromUnixSeconds(kNowSeconds + 86400.5));
    }
}

// The same readings again only mark the file as confirmed now; new ones replace it.
TEST(StatusLineProgramTest, UnchangedReadingsAreNotRewritten) {
    TestHome home;
    ASSERT_EQ(home.programs.run({kStatusLine}, kInput).code, 0);
    const timespec old[2] = {{1'000'000'000, 0}, {1'000'000'000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, home.limitsFile().c_str(), old, 0), 0);
    struct stat first {};
    ::stat(home.limitsFile().c_str(), &first);

    ASSERT_EQ(home.programs.run({kStatusLine}, kInput).code, 0);
    struct stat second {};
    ::stat(home.limitsFile().c_str(), &second);
    EXPECT_EQ(second.st_ino, first.st_ino);
    EXPECT_GT(modificationTime(second), Instant{std::chrono::seconds(1'000'000'000)});

    std::string changed = kInput;
    changed.replace(changed.find("34.4"), 4, "35.0");
    ASSERT_EQ(home.programs.run({kStatusLine}, changed).code, 0);
    EXPECT_NE(readFile(home.limitsFile()).find("\"used_percentage\":35"), std::string::npos);

    // A file someone else could read is replaced by a private one, even with the same bytes.
    ::chmod(home.limitsFile().c_str(), 0644);
    ASSERT_EQ(home.programs.run({kStatusLine}, changed).code, 0);
    EXPECT_EQ(fileMode(home.limitsFile()), 0600u);
}

TEST(StatusLineProgramTest, BadInputLeavesTheSavedFileAlone) {
    TestHome home;
    ASSERT_EQ(home.programs.run({kStatusLine}, kInput).code, 0);
    const std::string saved = readFile(home.limitsFile());
    struct stat before {};
    ::stat(home.limitsFile().c_str(), &before);

    std::string binary;
    for (int i = 0; i < 70000; ++i)
        binary += static_cast<char>((i * 7919) & 0xFF);
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    const std::string deepInLimits =
        R"({"rate_limits":)" + std::string(100000, '[') + std::string(100000, ']') + "}";
    const std::string huge = R"({"rate_limits":{"five_hour":{"used_percentage":1,"resets_at":)" +
                             kFiveResets + R"(}},"x":")" + std::string(5 << 20, 'a') + "\"}";
    const std::vector<std::pair<std::string, std::string>> inputs = {
        {"empty", ""},
        {"binary", binary},
        {"deep", deep},
        {"deep rate_limits", deepInLimits},
        {"5 MiB", huge},
        {"truncated", kInput.substr(0, kInput.size() / 2)},
        {"not an object", "[1,2,3]"},
        {"rate_limits not an object", R"({"rate_limits":[1]})"},
        {"no rate_limits", R"({"model":{"id":"x"},"context_window":{"current_usage":null}})"},
        {"two documents", kInput + kInput},
    };
    for (const auto& [name, input] : inputs) {
        const Exit e = home.programs.run({kStatusLine}, input);
        EXPECT_EQ(e.code, 0) << name;
        EXPECT_EQ(e.out, "Vellumkite\n") << name;
        EXPECT_LT(e.seconds, 2.0) << name;
        EXPECT_EQ(readFile(home.limitsFile()), saved) << name;
    }
    struct stat after {};
    ::stat(home.limitsFile().c_str(), &after);
    EXPECT_EQ(before.st_ino, after.st_ino); // not even rewritten with the same bytes
    EXPECT_EQ(folderEntries(home.limitsFile().parent_path()), kSaved);
    EXPECT_EQ(home.journalLines().size(), 1u);
}

TEST(StatusLineProgramTest, InputThatNeverEndsDoesNotHoldItUp) {
    TestHome home;
    for (const auto& program : {std::vector<std::string>{kStatusLine},
                                std::vector<std::string>{kStatusLine, "--", "cat"}}) {
        const Exit e = home.programs.run(program, R"({"rate_limits":{}})", true);
        EXPECT_EQ(e.code, 0);
        EXPECT_EQ(e.out, "Vellumkite\n");
        EXPECT_GT(e.seconds, 0.9);
        EXPECT_LT(e.seconds, 1.5);
        EXPECT_FALSE(fs::exists(home.limitsFile())); // a document never finished is not saved
    }
}

TEST(StatusLineProgramTest, ReadingsThatCannotBeTrueAreRefusedWithALineInItsLog) {
    TestHome home;
    ASSERT_EQ(home.programs.run({kStatusLine}, kInput).code, 0);
    const std::string saved = readFile(home.limitsFile());
    const fs::path log = home.limitsFile().parent_path() / "statusline.log";
    const auto window = [](const std::string& used, long long resets) {
        return R"({"used_percentage":)" + used + R"(,"resets_at":)" + std::to_string(resets) + "}";
    };
    struct Case {
        const char* name;
        std::string input, says;
    };
    const std::vector<Case> cases = {
        {"milliseconds", input(window("34", (kNowSeconds + 3600) * 1000)),
         "five_hour.resets_at " + std::to_string((kNowSeconds + 3600) * 1000) +
             " is more than 8 days ahead"},
        {"nine days ahead", input(window("34", kNowSeconds + 9 * 86400)), "more than 8 days"},
        {"long past", input(window("34", kNowSeconds - 6 * 3600)),
         "five_hour.resets_at " + std::to_string(kNowSeconds - 6 * 3600) +
             " is further in the past than the window is long"},
        {"negative", input(window("-3", kNowSeconds + 3600)),
         "five_hour.used_percentage -3 is outside 0 to 1000"},
        {"huge", input(window("1e9", kNowSeconds + 3600)), "used_percentage 1e+09 is outside"},
        {"over a MiB",
         input(R"({"used_percentage":34,"resets_at":)" + kFiveResets + R"(,"pad":")" +
               std::string(Limits::kMaxFileSize, 'x') + "\"}"),
         "over the 1 MiB"},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const auto& c = cases[i];
        SCOPED_TRACE(c.name);
        const Exit e = home.programs.run({kStatusLine}, c.input);
        EXPECT_EQ(e.code, 0);
        EXPECT_EQ(e.out, "ctx 86k\n") << "no refused percentage shown";
        EXPECT_EQ(readFile(home.limitsFile()), saved) << "the reading before stays";
        const std::string text = readFile(log);
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), static_cast<long>(i + 1));
        const std::string last = text.substr(text.rfind('\n', text.size() - 2) + 1);
        EXPECT_NE(last.find(" rate_limits refused: "), std::string::npos) << last;
        EXPECT_NE(last.find(c.says), std::string::npos) << last;
    }
    EXPECT_EQ(fileMode(log), 0600u);
    EXPECT_EQ(home.journalLines().size(), 1u) << "nor kept in the journal";
    // Within a window's length of the past the reading is true, only over: saved, not shown.
    EXPECT_EQ(home.programs.run({kStatusLine}, input(window("34", kNowSeconds - 3600))).out,
              "5h 34% \u00b7 wk 18% \u00b7 ctx 86k\n");
    EXPECT_NE(readFile(home.limitsFile()), saved);
}

TEST(StatusLineProgramTest, NeverWritesThroughWhatIsPlantedAtTheTarget) {
    TestHome home;
    const fs::path victim = home.dir / "victim.txt";
    writeFile(victim, "keep me");
    fs::create_directories(home.limitsFile().parent_path());
    fs::create_symlink(victim, home.limitsFile());

    Exit e = home.programs.run({kStatusLine}, kInput);
    EXPECT_EQ(e.code, 0);
    EXPECT_EQ(readFile(victim), "keep me");
    EXPECT_FALSE(fs::is_symlink(home.limitsFile()));
    EXPECT_TRUE(Limits::load(home.limitsFile()).has_value());

    // A folder in its place: nothing written, nothing left behind, still a line.
    fs::remove(home.limitsFile());
    fs::create_directory(home.limitsFile());
    e = home.programs.run({kStatusLine}, kInput);
    EXPECT_EQ(e.code, 0);
    EXPECT_EQ(e.out, "5h 34% \u00b7 wk 18% \u00b7 ctx 86k\n");
    EXPECT_TRUE(fs::is_directory(home.limitsFile()));
    EXPECT_TRUE(fs::is_empty(home.limitsFile()));
    EXPECT_EQ(folderEntries(home.limitsFile().parent_path()), kSaved);
}

// Each reading that differs from the one before goes to the journal, so that readings taken
// while nothing else runs are kept.
TEST(StatusLineProgramTest, KeepsEachReadingThatDiffersInTheJournal) {
    TestHome home;
    const Instant before = systemNow();
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(home.programs.run({kStatusLine}, kInput).code, 0);
    std::string changed = kInput;
    changed.replace(changed.find("34.4"), 4, "35.0");
    ASSERT_EQ(home.programs.run({kCli, "statusline"}, changed).code, 0);
    ASSERT_EQ(home.programs.run({kStatusLine}, changed).code, 0);
    // A reading without windows, or none, adds nothing.
    ASSERT_EQ(home.programs.run({kStatusLine}, R"({"rate_limits":{}})").code, 0);
    ASSERT_EQ(home.programs.run({kStatusLine}, R"({"model":{}})").code, 0);

    const auto lines = home.journalLines();
    ASSERT_EQ(lines.size(), 2u);
    const auto first = LimitReading::parse(lines[0]), second = LimitReading::parse(lines[1]);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->windows, (std::vector<LimitReading::Window>{
                                  {"five_hour", 34.4, fromUnixSeconds(std::stod(kFiveResets))},
                                  {"seven_day", 18, fromUnixSeconds(std::stod(kWeekResets))}}));
    EXPECT_EQ(second->windows[0].percent, 35);
    EXPECT_GE(first->at, before - std::chrono::milliseconds(1));
    EXPECT_LE(first->at, second->at);
    EXPECT_LE(second->at, systemNow());
}

TEST(StatusLineProgramTest, PassesTheInputOnAndPrintsTheCommandsLine) {
    TestHome home;
    // The command sees exactly our input; its output replaces our line.
    const Exit e = home.programs.run(
        {kStatusLine, "--", "sh", "-c", "wc -c | tr -d ' '; echo \"$0\"", "their line"}, kInput);
    EXPECT_EQ(e.code, 0);
    EXPECT_EQ(e.out, std::to_string(kInput.size()) + "\ntheir line\n");
    EXPECT_TRUE(fs::exists(home.limitsFile())); // saved all the same

    // A document cut short (here, too big to take in whole) is not passed on: the command would
    // only see broken JSON.
    const std::string huge =
        kInput.substr(0, kInput.size() - 1) + R"(,"x":")" + std::string(5 << 20, 'a') + "\"}";
    const Exit cut =
        home.programs.run({kStatusLine, "--", "sh", "-c", "cat >/dev/null; echo theirs"}, huge);
    EXPECT_EQ(cut.code, 0);
    EXPECT_EQ(cut.out, "Vellumkite\n");
}

TEST(StatusLineProgramTest, FallsBackToItsOwnLineWhenTheCommandFails) {
    TestHome home;
    const std::string ours = "5h 34% \u00b7 wk 18% \u00b7 ctx 86k\n";
    const std::vector<std::vector<std::string>> failing = {
        {"false"},
        {"sh", "-c", "echo partial; exit 3"},
        {"true"},                            // no output
        {"sh", "-c", "echo '  '"},           // nothing but blanks
        {"/nonexistent/statusline-command"}, // cannot start
    };
    for (const auto& command : failing) {
        std::vector<std::string> args = {kStatusLine, "--"};
        args.insert(args.end(), command.begin(), command.end());
        const Exit e = home.programs.run(args, kInput);
        EXPECT_EQ(e.code, 0) << command[0];
        EXPECT_EQ(e.out, ours) << command.back();
    }
}

TEST(StatusLineProgramTest, ACommandThatHangsIsCutOffWithItsChildren) {
    TestHome home;
    const auto touchAfter = [&](const char* seconds, const char* name) {
        return "(sleep " + std::string(seconds) + "; touch '" + (home.dir / name).string() + "') &";
    };
    // The shell's own child must go too, or it would keep the output pipe open.
    Exit e = home.programs.run(
        {kStatusLine, "--", "sh", "-c", touchAfter("3.3", "late") + " sleep 10; echo late"},
        kInput);
    EXPECT_EQ(e.code, 0);
    EXPECT_EQ(e.out, "5h 34% \u00b7 wk 18% \u00b7 ctx 86k\n");
    EXPECT_GT(e.seconds, 2.9);
    EXPECT_LT(e.seconds, 3.5);

    // A command that answers and leaves something running in the background is not held up,
    // and what it left holding its output does not outlive it.
    e = home.programs.run({kStatusLine, "--", "sh", "-c", "echo quick; " + touchAfter("1", "left")},
                          kInput);
    EXPECT_EQ(e.out, "quick\n");
    EXPECT_LT(e.seconds, 1.0);
    std::this_thread::sleep_for(std::chrono::milliseconds(1300));
    EXPECT_FALSE(fs::exists(home.dir / "late"));
    EXPECT_FALSE(fs::exists(home.dir / "left"));
}

TEST(StatusLineProgramTest, ArgumentErrorsExitTwo) {
    TestHome home;
    for (const auto& args : {std::vector<std::string>{kStatusLine, "--bogus"},
                             std::vector<std::string>{kStatusLine, "--"},
                             std::vector<std::string>{kStatusLine, "extra"}}) {
        const Exit e = home.programs.run(args, kInput);
        EXPECT_EQ(e.code, 2);
        EXPECT_TRUE(e.out.empty());
        EXPECT_NE(e.err.find("Usage: vellumkite-statusline"), std::string::npos);
        EXPECT_FALSE(fs::exists(home.limitsFile()));
    }
}

} // namespace
