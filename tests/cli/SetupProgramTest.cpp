// "vellumkite-cli setup" on the user's real settings file, as a user runs it: every other byte
// kept, a backup beside it, and --undo giving back exactly what was there.
#include "JsonWriter.hpp"
#include "OtherUser.hpp"
#include "TestHome.hpp"

#include <gtest/gtest.h>
#include <simdjson.h>
#include <unistd.h>

using namespace vellumkite;
using namespace vellumkite::testing;
namespace fs = std::filesystem;

namespace {

const std::string kInput =
    R"({"rate_limits":{"five_hour":{"used_percentage":34,"resets_at":)" + resetsInAnHour() +
    R"(},"seven_day":{"used_percentage":18,"resets_at":)" + resetsInAnHour() + "}}}";

class SetupProgramTest : public ::testing::Test {
protected:
    fs::path settings() const { return home.dir / ".claude/settings.json"; }

    Exit setup(std::vector<std::string> args = {"--yes"}) {
        args.insert(args.begin(), {kCli, "setup"});
        return home.programs.run(args);
    }

    // The files beside the settings that setup made: its backups.
    std::vector<std::string> backups() const {
        std::vector<std::string> out;
        for (const auto& name : folderEntries(settings().parent_path()))
            if (name.starts_with("settings.json.vellumkite-"))
                out.push_back(name);
        return out;
    }

    // The status-line command the settings hold now, as the assistant would read it.
    std::string command() const {
        simdjson::dom::parser parser;
        std::string_view s;
        EXPECT_EQ(parser.load(settings().string())["statusLine"]["command"].get_string().get(s),
                  simdjson::SUCCESS);
        return std::string(s);
    }

    TestHome home;
};

std::string ourObject(const std::string& indent) {
    return "{\n" + indent + indent + "\"type\": \"command\",\n" + indent + indent +
           "\"command\": \"" + kStatusLine + "\"\n" + indent + "}";
}

} // namespace

TEST_F(SetupProgramTest, CreatesAMissingFileAndSaysSoTheSecondTime) {
    const Exit first = setup();
    ASSERT_EQ(first.code, 0) << first.err;
    EXPECT_NE(first.out.find("will be created"), std::string::npos) << first.out;
    EXPECT_NE(first.out.find("Limit readings arrive with the assistant's next reply."),
              std::string::npos);
    EXPECT_EQ(readFile(settings()), "{\n  \"statusLine\": " + ourObject("  ") + "\n}\n");
    EXPECT_EQ(fileMode(settings()), 0600u);
    EXPECT_TRUE(backups().empty()); // nothing was there to keep

    const Exit again = setup();
    EXPECT_EQ(again.code, 0);
    EXPECT_EQ(again.out, "The status line is already on in " + settings().string() + ".\n");
    EXPECT_TRUE(backups().empty());

    const Exit undo = setup({"--undo", "--yes"});
    ASSERT_EQ(undo.code, 0) << undo.err;
    EXPECT_EQ(readFile(settings()), "{}\n");
    EXPECT_EQ(backups().size(), 1u);
    // With ours gone there is nothing more to undo, and the note for it is gone too.
    EXPECT_EQ(setup({"--undo", "--yes"}).code, 0);
    EXPECT_EQ(folderEntries(home.limitsFile().parent_path()), std::vector<std::string>{});
}

TEST_F(SetupProgramTest, KeepsEveryOtherByteAndUndoGivesBackTheSameFile) {
    struct Case {
        const char* name;
        std::string before;
        std::string after; // empty: check only the round trip
    };
    const std::vector<Case> cases = {
        {"empty object", "{}", "{\n  \"statusLine\": " + ourObject("  ") + "\n}"},
        {"keys in a chosen order",
         "{\n    \"zeta\": 1.50e3,\n    \"env\": {\"statusLine\": \"not this one\", \"K\": "
         "\"v\"},\n"
         "    \"alpha\": [true, null, -0, \"\\u00e9\\n\"],\n    \"model\": \"opus\"\n}\n",
         "{\n    \"zeta\": 1.50e3,\n    \"env\": {\"statusLine\": \"not this one\", \"K\": "
         "\"v\"},\n"
         "    \"alpha\": [true, null, -0, \"\\u00e9\\n\"],\n    \"model\": \"opus\",\n"
         "    \"statusLine\": " +
             ourObject("    ") + "\n}\n"},
        {"a byte-order mark", "\xEF\xBB\xBF{}\r\n",
         "\xEF\xBB\xBF{\n  \"statusLine\": " + ourObject("  ") + "\n}\r\n"},
        {"a status line that cannot be chained",
         "{\"statusLine\": {\"type\": \"static\"}, \"b\": 2}\n",
         "{\"statusLine\": {\"type\": \"command\", \"command\": \"" + kStatusLine +
             "\"}, \"b\": 2}\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(settings(), c.before);
        fs::permissions(settings(), fs::perms(0640));
        const Exit on = setup();
        ASSERT_EQ(on.code, 0) << on.err;
        EXPECT_EQ(readFile(settings()), c.after);
        EXPECT_EQ(fileMode(settings()), 0640u);
        // The backup is the file as it was, no more readable than it was.
        const auto kept = backups();
        ASSERT_EQ(kept.size(), 1u);
        EXPECT_EQ(readFile(settings().parent_path() / kept[0]), c.before);
        EXPECT_EQ(fileMode(settings().parent_path() / kept[0]), 0640u);

        const Exit off = setup({"--undo", "--yes"});
        ASSERT_EQ(off.code, 0) << off.err;
        EXPECT_EQ(readFile(settings()), c.before);
        EXPECT_EQ(fileMode(settings()), 0640u);
        for (const auto& name : backups())
            fs::remove(settings().parent_path() / name);
    }
}

TEST_F(SetupProgramTest, ChainsAnExistingStatusLineThatStillRunsAfterOurs) {
    const fs::path script = home.dir / "bin/my status.sh";
    writeFile(script, "#!/bin/sh\nread -r line\necho \"mine: ${#line}\"\n");
    fs::permissions(script, fs::perms(0755));
    const std::string mine = "'" + script.string() + "' | tr m M";
    const std::string before = "{\n  \"statusLine\": {\n    \"type\": \"command\",\n"
                               "    \"command\": \"" +
                               mine + "\",\n    \"padding\": 0\n  }\n}\n";
    writeFile(settings(), before);

    const Exit on = setup();
    ASSERT_EQ(on.code, 0) << on.err;
    EXPECT_EQ(command(), kStatusLine + " -- sh -c ''\\''" + script.string() + "'\\'' | tr m M'");
    EXPECT_NE(readFile(settings()).find("\"padding\": 0"), std::string::npos);
    EXPECT_NE(on.out.find("will change from"), std::string::npos);

    // As the assistant runs it: through the shell, the document on standard input.
    const Exit run = home.programs.run({"/bin/sh", "-c", command()}, kInput + "\n");
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.out, "Mine: " + std::to_string(kInput.size()) + "\n");
    EXPECT_NE(readFile(home.limitsFile()).find("\"used_percentage\":34"), std::string::npos);

    // Edited since (another member changed): undo still takes only ours out.
    const std::string edited = readFile(settings());
    writeFile(settings(), edited.substr(0, edited.find("\"padding\": 0")) + "\"padding\": 3" +
                              edited.substr(edited.find("\"padding\": 0") + 12));
    ASSERT_EQ(setup({"--undo", "--yes"}).code, 0);
    EXPECT_EQ(command(), mine);
    EXPECT_NE(readFile(settings()).find("\"padding\": 3"), std::string::npos);
}

TEST_F(SetupProgramTest, ALineThatStartsWithAShellBuiltinRunsAsItDidBefore) {
    const fs::path script = home.dir / "bin/s.sh";
    writeFile(script, "#!/bin/sh\nread -r line\necho \"mine: ${#line}\"\n");
    fs::permissions(script, fs::perms(0755));
    const std::string s = script.string();
    // The shell's own echo reads backslashes where the program does not.
    for (const std::string& mine :
         std::vector<std::string>{"exec " + s, ". " + s, "command " + s, "eval " + s,
                                  "echo 'mine\\tline'", "printf 'mine %s\\n' x"}) {
        SCOPED_TRACE(mine);
        std::string json = R"({"statusLine":{"type":"command","command":)";
        JsonWriter::appendString(json, mine);
        writeFile(settings(), json + "}}");
        ASSERT_EQ(setup().code, 0);
        // As the assistant runs it, before and after: the same line.
        const Exit before = home.programs.run({"/bin/sh", "-c", mine}, kInput + "\n");
        const Exit after = home.programs.run({"/bin/sh", "-c", command()}, kInput + "\n");
        EXPECT_NE(before.out, "");
        EXPECT_EQ(after.out, before.out) << command();
        EXPECT_NE(readFile(home.limitsFile()).find("\"used_percentage\":34"), std::string::npos);
        fs::remove(home.limitsFile());
    }
}

TEST_F(SetupProgramTest, ALineSetUpByHandIsOnAndUndoKeepsWhatItChained) {
    const std::string before =
        R"({"statusLine":{"type":"command","command":")" + kStatusLine + R"( -- ~/s.sh --x"}})";
    writeFile(settings(), before);
    const Exit on = setup();
    EXPECT_EQ(on.code, 0);
    EXPECT_NE(on.out.find("already on"), std::string::npos);
    EXPECT_EQ(readFile(settings()), before);
    EXPECT_TRUE(backups().empty());

    ASSERT_EQ(setup({"--undo", "--yes"}).code, 0);
    EXPECT_EQ(readFile(settings()), R"({"statusLine":{"type":"command","command":"~/s.sh --x"}})");

    // Ours at a place that is gone (an old build, a removed install) is pointed here again.
    writeFile(settings(), R"({"statusLine":{"command":"/gone/vellumkite-statusline -- a b"}})");
    ASSERT_EQ(setup().code, 0);
    EXPECT_EQ(command(), kStatusLine + " -- a b");
}

TEST_F(SetupProgramTest, LeavesFilesItMustNotEditAlone) {
    struct Case {
        const char* name;
        std::string text;
        unsigned mode;
        std::string says;
    };
    for (const Case& c : {Case{"invalid JSON", "{\"a\": 1,}\n", 0600, "is not valid JSON"},
                          Case{"not an object", "[]", 0600, "does not hold a JSON object"},
                          Case{"read-only", "{\"a\": 1}", 0444, "is read-only"}}) {
        SCOPED_TRACE(c.name);
        writeFile(settings(), c.text);
        fs::permissions(settings(), fs::perms(c.mode));
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"--yes"}, std::vector<std::string>{"--undo", "--yes"}}) {
            const Exit e = setup(args);
            EXPECT_EQ(e.code, 1);
            EXPECT_NE(e.err.find(c.says), std::string::npos) << e.err;
            EXPECT_NE(e.err.find(settings().string()), std::string::npos) << e.err;
        }
        EXPECT_EQ(readFile(settings()), c.text);
        EXPECT_EQ(fileMode(settings()), c.mode);
        EXPECT_TRUE(backups().empty());
        EXPECT_FALSE(fs::exists(home.limitsFile().parent_path()));
        fs::permissions(settings(), fs::perms(0600));
    }
}

TEST_F(SetupProgramTest, WritesASymlinksTargetAndKeepsTheLink) {
    const fs::path target = home.dir / "dotfiles/claude/settings.json";
    const std::string before = "{\n  \"theme\": \"dark\"\n}\n";
    writeFile(target, before);
    fs::permissions(target, fs::perms(0644));
    fs::create_directories(settings().parent_path());
    fs::create_symlink("../dotfiles/claude/settings.json", settings());

    ASSERT_EQ(setup().code, 0);
    EXPECT_TRUE(fs::is_symlink(settings()));
    EXPECT_EQ(fs::read_symlink(settings()), "../dotfiles/claude/settings.json");
    EXPECT_EQ(readFile(target),
              "{\n  \"theme\": \"dark\",\n  \"statusLine\": " + ourObject("  ") + "\n}\n");
    EXPECT_EQ(fileMode(target), 0644u);
    EXPECT_EQ(folderEntries(target.parent_path()), std::vector<std::string>{"settings.json"});

    ASSERT_EQ(setup({"--undo", "--yes"}).code, 0);
    EXPECT_TRUE(fs::is_symlink(settings()));
    EXPECT_EQ(readFile(target), before);
}

TEST_F(SetupProgramTest, NeverGoesThroughAnotherUsersLinkOrFolder) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can give a link or a folder to another user";
    // A file only root may read: what a link planted by another user would have root copy.
    const fs::path secret = home.dir / "root-only/settings.json";
    const std::string secretText = "{\"token\": \"s3cret\"}\n";
    writeFile(secret, secretText);
    fs::permissions(secret.parent_path(), fs::perms::owner_all);
    fs::permissions(secret, fs::perms(0644));
    const fs::path folder = settings().parent_path();
    struct Case {
        const char* name;
        bool theirLink, theirFolder;
    };
    for (const Case& c : {Case{"their link in their folder", true, true},
                          Case{"their link in a folder of ours", true, false},
                          Case{"a link of ours in their folder", false, true}}) {
        SCOPED_TRACE(c.name);
        fs::remove_all(folder);
        fs::create_directories(folder);
        fs::create_symlink(secret, settings());
        if (c.theirLink) {
            ASSERT_EQ(::lchown(settings().c_str(), OtherUser::kUid, OtherUser::kGid), 0);
        }
        if (c.theirFolder) {
            ASSERT_EQ(::chown(folder.c_str(), OtherUser::kUid, OtherUser::kGid), 0);
        }
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"--yes"}, std::vector<std::string>{"--undo", "--yes"}}) {
            const Exit e = setup(args);
            EXPECT_EQ(e.code, 1);
            EXPECT_NE(e.err.find("which belongs to another user; it was left as it is"),
                      std::string::npos)
                << e.err;
        }
        EXPECT_EQ(readFile(secret), secretText);
        EXPECT_EQ(folderEntries(folder), std::vector<std::string>{"settings.json"});
        EXPECT_TRUE(fs::is_symlink(settings()));
    }

    // As that other user: root's links are the system's and are followed; a third user's are not.
    if (const auto why = OtherUser::unavailable(kCli); !why.empty()) {
        std::cout << "[  SKIPPED ] as another user: " << why << "\n";
        return;
    }
    fs::remove_all(folder);
    const fs::path mine = home.dir / "dotfiles/settings.json";
    writeFile(mine, "{}\n");
    fs::create_directories(folder);
    fs::create_symlink(mine, settings());
    OtherUser::own(home.dir.path());
    ASSERT_EQ(::lchown(settings().c_str(), 0, 0), 0);
    const Exit followed = home.programs.run(OtherUser::run({kCli, "setup", "--yes"}));
    EXPECT_EQ(followed.code, 0) << followed.err;
    EXPECT_NE(readFile(mine).find("statusLine"), std::string::npos);
    ASSERT_EQ(::lchown(settings().c_str(), OtherUser::kUid - 1, OtherUser::kGid - 1), 0);
    const std::string before = readFile(mine);
    const Exit refused = home.programs.run(OtherUser::run({kCli, "setup", "--undo", "--yes"}));
    EXPECT_EQ(refused.code, 1);
    EXPECT_NE(refused.err.find("is reached through the link " + settings().string()),
              std::string::npos)
        << refused.err;
    EXPECT_EQ(readFile(mine), before);
}

TEST_F(SetupProgramTest, AsksOnATerminalAndOnlyAppliesWithYesElsewhere) {
    const std::string before = "{\"a\": 1}";
    writeFile(settings(), before);
    const Exit piped = setup({});
    EXPECT_EQ(piped.code, 1);
    EXPECT_NE(piped.err.find("--yes"), std::string::npos);
    EXPECT_EQ(readFile(settings()), before);

    const auto answer = [](const char* reply) {
        return [reply, sent = false](const std::string& out, int master, pid_t) mutable {
            if (!sent && out.find("[y/N]") != std::string::npos)
                sent = ::write(master, reply, std::strlen(reply)) > 0;
        };
    };
    const Exit no = home.programs.runOnTerminal({kCli, "setup"}, answer("n\n"));
    EXPECT_EQ(no.code, 1);
    EXPECT_NE(no.out.find("Nothing was changed."), std::string::npos) << no.out;
    EXPECT_EQ(readFile(settings()), before);

    const Exit yes = home.programs.runOnTerminal({kCli, "setup"}, answer("y\n"));
    EXPECT_EQ(yes.code, 0) << yes.out;
    EXPECT_EQ(command(), kStatusLine);
}

TEST_F(SetupProgramTest, UsesTheFirstFolderOfClaudeConfigDir) {
    const fs::path first = home.dir / "config a";
    home.programs.setEnv("CLAUDE_CONFIG_DIR",
                         " ," + first.string() + "," + home.dir.path().string());
    ASSERT_EQ(setup().code, 0);
    EXPECT_TRUE(fs::exists(first / "settings.json"));
    EXPECT_FALSE(fs::exists(settings()));
}
