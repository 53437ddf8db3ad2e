// "vellumkite-cli doctor" on prepared homes: each piece present or missing, one line each, and
// nothing written.
#include "DoctorLine.hpp"
#include "TestHome.hpp"

#include <gtest/gtest.h>

using namespace vellumkite;
using namespace vellumkite::testing;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> everythingUnder(const fs::path& root) {
    std::vector<std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(root))
        out.push_back(e.path().string());
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace

TEST(DoctorProgramTest, AnEmptyHomeMissesTheNeededPiecesAndGetsAHintForEach) {
    TestHome home;
    const Exit e = home.programs.run({kCli, "doctor"});
    EXPECT_EQ(e.code, 1);
    EXPECT_TRUE(has(doctorLine(e.out, "Chat logs"), "\u2717")) << e.out;
    EXPECT_TRUE(
        has(doctorLine(e.out, "Status line"), "\u2717 Status line     not set up: there is no"));
    EXPECT_TRUE(has(e.out, "Run \"vellumkite-cli setup\" to turn it on."));
    EXPECT_TRUE(has(doctorLine(e.out, "Limit readings"), "\u2717"));
    // Without a session bus or a display the desktop pieces are warnings, not failures.
    EXPECT_EQ(doctorLine(e.out, "Notifications"), "! Notifications   no session bus");
    EXPECT_EQ(doctorLine(e.out, "System tray"), "! System tray     none found");
    EXPECT_EQ(doctorLine(e.out, "Open at login"), "i Open at login   off");
    EXPECT_EQ(doctorLine(e.out, "History"), "i History         not created yet");
    EXPECT_TRUE(has(e.out, "\n3 needed pieces are missing: see the hints above.\n"));
    EXPECT_EQ(everythingUnder(home.dir.path()), std::vector<std::string>{});
}

TEST(DoctorProgramTest, AHomeWithEveryPieceIsInPlace) {
    TestHome home;
    Reply r;
    r.sessionId = "s1";
    r.timestamp = isoAgo(120);
    writeFile(home.chatFile("s1"), replyLine(r) + "\n");
    writeFile(home.chatFile("s2"), replyLine(r) + "\n");
    fs::last_write_time(home.chatFile("s1"),
                        fs::file_time_type::clock::now() - std::chrono::hours(5));
    writeFile(home.dir / ".claude/settings.json",
              R"({"statusLine":{"type":"command","command":")" + kStatusLine + R"( -- ~/s.sh"}})");
    ASSERT_EQ(home.programs
                  .run({kStatusLine}, R"({"rate_limits":{"five_hour":{"used_percentage":34,)"
                                      R"("resets_at":)" +
                                          resetsInAnHour() + "}}}")
                  .code,
              0);
    writeFile(home.dir / ".config/autostart/vellumkite.desktop",
              "[Desktop Entry]\nType=Application\nName=Vellumkite\nExec=/usr/bin/vellumkite\n");
    ASSERT_EQ(home.programs.run({kCli, "report", "daily"}).code, 0); // makes the history
    const auto before = everythingUnder(home.dir.path());

    const Exit e = home.programs.run({kCli, "doctor"});
    EXPECT_EQ(e.code, 0) << e.out;
    EXPECT_EQ(doctorLine(e.out, "Chat logs"),
              "\u2713 Chat logs       2 logs in " + (home.dir / ".claude/projects").string() +
                  "; the newest, -home-you-project/s2.jsonl, changed now");
    EXPECT_EQ(doctorLine(e.out, "Status line"), "\u2713 Status line     on in " +
                                                    (home.dir / ".claude/settings.json").string() +
                                                    "; then runs ~/s.sh");
    EXPECT_EQ(doctorLine(e.out, "Limit readings"), "\u2713 Limit readings  saved now; 5-hour 34%");
    EXPECT_TRUE(has(doctorLine(e.out, "Open at login"), "\u2713 Open at login   on ("));
    EXPECT_TRUE(has(doctorLine(e.out, "History"),
                    "\u2713 History         " +
                        (home.limitsFile().parent_path() / "history.sqlite3").string()));
    EXPECT_TRUE(has(doctorLine(e.out, "History"), "), 1 replies since "))
        << doctorLine(e.out, "History");
    EXPECT_TRUE(has(e.out, "\nEverything needed is in place.\n"));
    EXPECT_EQ(everythingUnder(home.dir.path()), before);
}

TEST(DoctorProgramTest, NamesWhatIsWrongWithTheStatusLine) {
    TestHome home;
    const fs::path settings = home.dir / ".claude/settings.json";
    struct Case {
        std::string settings, says, hint;
    };
    const std::vector<Case> cases = {
        {"{\"statusLine\": ", "is not valid JSON", "Fix the file"},
        {R"({"statusLine":{"type":"command","command":"~/mine.sh"}})",
         "runs another status line: ~/mine.sh", "it keeps yours and runs it after ours"},
        {R"({"statusLine":{"type":"command","command":"/gone/vellumkite-statusline"}})",
         "runs /gone/vellumkite-statusline, which is not there", "point it at this installation"},
        {R"({"statusLine":{"type":"command","command":")" + kStatusLine + R"( ~/mine.sh"}})",
         "set up, but what follows vellumkite-statusline is not \"-- COMMAND\"", "set it right"},
        {R"({"statusLine":{"type":"command","command":")" + kStatusLine + R"( -- a | b"}})",
         "set up, but it uses shell syntax", "set it right"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.settings);
        writeFile(settings, c.settings);
        const Exit e = home.programs.run({kCli, "doctor"});
        EXPECT_EQ(e.code, 1);
        EXPECT_TRUE(has(doctorLine(e.out, "Status line"), "\u2717 Status line")) << e.out;
        EXPECT_TRUE(has(doctorLine(e.out, "Status line"), c.says)) << e.out;
        EXPECT_TRUE(has(e.out, c.hint)) << e.out;
    }

    // A limits file that cannot be read, and a log folder that is not there.
    writeFile(home.limitsFile(), "{\"rate_limits\": [");
    fs::create_directories(home.dir / "other/projects");
    home.programs.setEnv("CLAUDE_CONFIG_DIR",
                         (home.dir / "elsewhere").string() + "," + (home.dir / "other").string());
    const Exit e = home.programs.run({kCli, "doctor"});
    EXPECT_TRUE(has(doctorLine(e.out, "Limit readings"),
                    "\u2717 Limit readings  " + home.limitsFile().string() + " cannot be read"))
        << e.out;
    EXPECT_EQ(doctorLine(e.out, "Log folders"), "! Log folders     CLAUDE_CONFIG_DIR names " +
                                                    (home.dir / "elsewhere").string() +
                                                    ", which does not exist");
    EXPECT_EQ(doctorLine(e.out, "Chat logs"), "\u2717 Chat logs       no logs in " +
                                                  (home.dir / "other/projects").string() + " yet");
    EXPECT_TRUE(has(doctorLine(e.out, "Status line"),
                    "there is no " + (home.dir / "elsewhere/settings.json").string()));
}
