// The terminal tool as users and scripts run it: real binaries, a home of their own.

#include "QtText.hpp"
#include "TestHome.hpp"
#include "Time.hpp"
#include "Timestamp.hpp"

#include <cmath>
#include <gtest/gtest.h>
#include <QLocale>
#include <QTime>
#include <simdjson.h>

using namespace vellumkite;
using namespace vellumkite::testing;

namespace {

simdjson::dom::element parse(simdjson::dom::parser& parser, const std::string& text) {
    simdjson::dom::element e;
    EXPECT_EQ(parser.parse(text).get(e), simdjson::SUCCESS) << text;
    return e;
}

std::string str(simdjson::dom::element e) {
    std::string_view s;
    return e.get_string().get(s) == simdjson::SUCCESS ? std::string(s) : "<not a string>";
}

std::string limitsInput(double fivePercent, double fiveResets, double weekResets) {
    return R"({"rate_limits":{"five_hour":{"used_percentage":)" + std::to_string(fivePercent) +
           R"(,"resets_at":)" + std::to_string(fiveResets) +
           R"(},"seven_day":{"used_percentage":18,"resets_at":)" + std::to_string(weekResets) +
           "}}}";
}

bool hasEscape(const std::string& s) {
    return s.find('\x1b') != std::string::npos;
}

TEST(CliProgramTest, EmptyHomeGivesTheQuietPicture) {
    TestHome home;
    const Exit e = home.programs.run({kCli, "json"});
    ASSERT_EQ(e.code, 0) << e.err;
    EXPECT_EQ(e.out, R"({"loaded":true,"menuTitle":"–","limits":null,"currentChat":null,)"
                     R"("topChats":[],"toolEaters":[],"todayWeight":0,"burnPerMin":0,"sparkline":)"
                     "[0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0],"
                     R"("tips":[{"rule":"ok","level":"info","title":"All quiet",)"
                     R"("text":"One task per chat keeps it that way.","notifyKey":null}],)"
                     R"("percentPerMessage":null})"
                     "\n");
    // Nothing is written into the home by reading it.
    EXPECT_FALSE(std::filesystem::exists(home.dir / ".config"));
    EXPECT_FALSE(std::filesystem::exists(home.dir / ".local"));
}

TEST(CliProgramTest, JsonCarriesEveryFigureOfThePass) {
    TestHome home;
    Reply a;
    a.messageId = "msg_a", a.sessionId = "s1", a.cwd = "/home/you/alpha", a.timestamp = isoAgo(600);
    a.input = 100, a.cacheRead = 10000, a.cacheWrite = 2000, a.output = 50;
    a.tools = {{"t1", "Read"}};
    Reply b = a;
    b.messageId = "msg_b", b.timestamp = isoAgo(30), b.tools = {};
    b.input = 10, b.cacheRead = 20000, b.cacheWrite = 400, b.output = 20;
    Reply c;
    c.messageId = "msg_c", c.sessionId = "s2", c.cwd = "/home/you/beta", c.timestamp = isoAgo(7200);
    c.input = 1000, c.output = 200;
    writeFile(home.chatFile("s1"), replyLine(a) + "\n" +
                                       resultLine("s1", isoAgo(590), {{"t1", 4000}}) + "\n" +
                                       replyLine(b) + "\n");
    writeFile(home.chatFile("s2"), replyLine(c) + "\n");
    // The limits arrive the way users get them: through the status-line command.
    const double now = toUnixSeconds(systemNow());
    // Soon enough that the current pace cannot reach the limit before it resets.
    const double fiveResets = std::floor(now) + 600;
    ASSERT_EQ(home.programs.run({kStatusLine}, limitsInput(34.5, fiveResets, now - 5)).code, 0);

    const Exit e = home.programs.run({kCli, "json"});
    ASSERT_EQ(e.code, 0) << e.err;
    simdjson::dom::parser parser;
    const auto j = parse(parser, e.out);
    EXPECT_EQ(j["loaded"].get_bool().value(), true);
    EXPECT_EQ(str(j["menuTitle"]), "35%");
    EXPECT_EQ(j["limits"]["fiveHour"]["usedPercent"].get_double().value(), 34.5);
    EXPECT_EQ(str(j["limits"]["fiveHour"]["resetsAt"]),
              Timestamp::format(fromUnixSeconds(fiveResets)));
    EXPECT_TRUE(j["limits"]["sevenDay"].is_null()); // already reset
    EXPECT_TRUE(Timestamp::parse(str(j["limits"]["savedAt"])).has_value());

    const auto chat = j["currentChat"];
    EXPECT_EQ(str(chat["sessionId"]), "s1");
    EXPECT_EQ(str(chat["project"]), "/home/you/alpha");
    EXPECT_EQ(str(chat["lastTime"]), b.timestamp);
    EXPECT_EQ(chat["replies"].get_int64().value(), 2);
    EXPECT_EQ(chat["size"].get_int64().value(), 20410);
    EXPECT_EQ(chat["weight"].get_double().value(), 3850 + 2610);
    EXPECT_EQ(chat["output"].get_int64().value(), 70);
    // Integers are written as integers.
    EXPECT_NE(e.out.find(R"("replies":2,"size":20410,"weight":6460,"output":70)"),
              std::string::npos);

    const auto top = j["topChats"].get_array().value();
    ASSERT_EQ(top.size(), 2u);
    EXPECT_EQ(simdjson::minify(top.at(0).value()), simdjson::minify(chat));
    EXPECT_EQ(str(top.at(1)["sessionId"]), "s2");
    EXPECT_EQ(top.at(1)["weight"].get_double().value(), 2000);

    EXPECT_EQ(
        simdjson::minify(j["toolEaters"]),
        R"([{"category":"File reads","calls":1,"tokens":1000,"weight":1250,"biggest":1000}])");
    EXPECT_EQ(j["todayWeight"].get_double().value(), 8460);
    EXPECT_DOUBLE_EQ(j["burnPerMin"].get_double().value(), 6460.0 / 15);
    const auto spark = j["sparkline"].get_array().value();
    ASSERT_EQ(spark.size(), 30u);
    for (std::size_t i = 0; i < 30; ++i)
        EXPECT_EQ(spark.at(i).get_double().value(), i == 19 ? 3850 : i == 29 ? 2610 : 0) << i;

    EXPECT_EQ(simdjson::minify(j["tips"]),
              R"([{"rule":"tool.File reads","level":"info","title":"File reads: 15% of today",)"
              R"("text":"Whole files stay in the chat. Ask Claude to read only the lines it )"
              R"(needs, or to search first.","notifyKey":null}])");
}

TEST(CliProgramTest, ReadsEveryFolderOfTheConfigVariableAndNamesTheMissingOnes) {
    TestHome home;
    Reply r;
    r.timestamp = isoAgo(60);
    r.output = 9; // provisional
    writeFile(home.dir / "conf/projects/p/a.jsonl", replyLine(r) + "\n");
    r.output = 209;
    writeFile(home.dir / "logs/p/b.jsonl", replyLine(r) + "\n");
    home.programs.setEnv("CLAUDE_CONFIG_DIR", (home.dir / "conf").string() + "," +
                                                  (home.dir / "gone").string() + "," +
                                                  (home.dir / "logs").string());
    const Exit e = home.programs.run({kCli, "json"});
    ASSERT_EQ(e.code, 0) << e.err;
    EXPECT_EQ(e.err, "vellumkite-cli: CLAUDE_CONFIG_DIR names " + (home.dir / "gone").string() +
                         ", which does not exist\n");
    simdjson::dom::parser parser;
    const auto j = parse(parser, e.out);
    EXPECT_EQ(j["currentChat"]["output"].get_int64().value(), 209);
    EXPECT_EQ(j["currentChat"]["replies"].get_int64().value(), 1);
}

TEST(CliProgramTest, ThresholdOverridesFromThePreferencesFileApply) {
    TestHome home;
    Reply r;
    r.timestamp = isoAgo(60);
    r.input = 1500;
    writeFile(home.chatFile("s1"), replyLine(r) + "\n");
    home.preferences(R"({"chatSoft": 1000, "chatHard": 5000})");

    const Exit e = home.programs.run({kCli, "waybar"});
    ASSERT_EQ(e.code, 0) << e.err;
    EXPECT_EQ(e.out, R"({"text":"1k","tooltip":"Chat getting long (1k)\nFinish this task, then )"
                     R"(say \"wrap up\" and start a new chat.\nThis chat: 1k re-read every )"
                     R"(message","class":"warn","percentPerMessage":null})"
                     "\n");
}

TEST(CliProgramTest, WaybarClassFollowsTheFirstTip) {
    TestHome home;
    Exit e = home.programs.run({kCli, "waybar"});
    EXPECT_EQ(e.out, R"({"text":"–","tooltip":"All quiet\nOne task per chat keeps it that way.)"
                     R"(\nNo chats in the last week.","class":"ok","percentPerMessage":null})"
                     "\n");

    const double now = toUnixSeconds(systemNow());
    home.programs.run({kStatusLine}, limitsInput(95.4, now + 3600, now + 90000));
    e = home.programs.run({kCli, "waybar"});
    simdjson::dom::parser parser;
    const auto j = parse(parser, e.out);
    EXPECT_EQ(str(j["class"]), "alert");
    EXPECT_EQ(str(j["text"]), "95%");
    EXPECT_EQ(j["percentage"].get_int64().value(), 95);
    EXPECT_EQ(e.out.find('\n'), e.out.size() - 1); // one line
}

// The times in tips follow the user's locale and time zone.
TEST(CliProgramTest, TipTimesUseTheLocale) {
    TestHome home;
    home.programs.setEnv("TZ", "UTC0");
    const double now = toUnixSeconds(systemNow());
    // The next 15:45 UTC at least an hour away.
    double resets = std::floor(now / 86400) * 86400 + 15 * 3600 + 45 * 60;
    while (resets < now + 3600)
        resets += 86400;
    home.programs.run({kStatusLine}, limitsInput(92, resets, now + 90000));

    for (const char* locale : {"en_US", "de_DE"}) {
        home.programs.setEnv("LANG", std::string(locale) + ".UTF-8");
        const Exit e = home.programs.run({kCli, "json"});
        simdjson::dom::parser parser;
        const auto j = parse(parser, e.out);
        const std::string expected = utf8(
            QLocale(QString::fromLatin1(locale)).toString(QTime(15, 45), QLocale::ShortFormat));
        EXPECT_EQ(str(j["tips"].at(0)["text"]),
                  "Save your work now and keep messages small. It resets at " + expected + ".")
            << locale;
    }
}

TEST(CliProgramTest, ArgumentErrorsPrintUsageOnStandardError) {
    TestHome home;
    for (const std::vector<std::string>& args : {std::vector<std::string>{kCli, "frobnicate"},
                                                 {kCli, "--frobnicate"},
                                                 {kCli, "json", "--pretty"},
                                                 {kCli, "statusline", "--bogus"}}) {
        const Exit e = home.programs.run(args);
        EXPECT_EQ(e.code, 2) << args[1];
        EXPECT_TRUE(e.out.empty()) << args[1];
        EXPECT_NE(e.err.find("Usage: vellumkite-cli"), std::string::npos) << args[1];
    }
    const Exit help = home.programs.run({kCli, "--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("\"statusLine\": {\"type\": \"command\""), std::string::npos);
    const Exit version = home.programs.run({kCli, "--version"});
    EXPECT_EQ(version.out, "vellumkite-cli " VELLUMKITE_VERSION "\n");
}

TEST(CliProgramTest, ColoursOnlyOnATerminalWithoutNoColor) {
    TestHome home;
    Reply r;
    r.timestamp = isoAgo(60);
    writeFile(home.chatFile("s1"), replyLine(r) + "\n");

    const Exit piped = home.programs.run({kCli, "status"});
    EXPECT_EQ(piped.code, 0);
    EXPECT_FALSE(hasEscape(piped.out));
    EXPECT_NE(piped.out.find("\u25cf 10 re-read every message"), std::string::npos) << piped.out;

    const auto none = [](const std::string&, int, pid_t) {};
    const Exit tty = home.programs.runOnTerminal({kCli, "status"}, none);
    EXPECT_EQ(tty.code, 0);
    EXPECT_NE(tty.out.find("\x1b[32m\u25cf"), std::string::npos) << tty.out; // a green dot

    home.programs.setEnv("NO_COLOR", ""); // any value counts, the empty one too
    const Exit plain = home.programs.runOnTerminal({kCli, "status"}, none);
    EXPECT_EQ(plain.code, 0);
    EXPECT_FALSE(hasEscape(plain.out)) << plain.out;
    EXPECT_NE(plain.out.find("This chat"), std::string::npos);
}

// Watch takes the alternate screen and gives the terminal back however it is ended.
TEST(CliProgramTest, WatchRestoresTheTerminalOnQuitAndOnSigterm) {
    TestHome home;
    const std::string enter = "\x1b[?1049h";
    const std::string leave = "\x1b[?25h\x1b[?1049l";
    bool sent = false;
    const Exit quit = home.programs.runOnTerminal(
        {kCli, "watch"}, [&](const std::string& out, int master, pid_t) {
            if (!sent && out.find("Top tool eaters today") != std::string::npos) {
                sent = ::write(master, "q", 1) == 1;
            }
        });
    EXPECT_TRUE(sent);
    EXPECT_EQ(quit.code, 0);
    EXPECT_EQ(quit.out.find(enter), 0u);
    EXPECT_NE(quit.out.find("\x1b[H"), std::string::npos);
    EXPECT_EQ(quit.out.rfind(leave), quit.out.size() - leave.size()) << quit.out;

    sent = false;
    const Exit term =
        home.programs.runOnTerminal({kCli, "watch"}, [&](const std::string& out, int, pid_t pid) {
            if (!sent && out.find("Top tool eaters today") != std::string::npos)
                sent = ::kill(pid, SIGTERM) == 0;
        });
    EXPECT_TRUE(sent);
    EXPECT_EQ(term.code, 0);
    EXPECT_EQ(term.out.rfind(leave), term.out.size() - leave.size());
}

TEST(CliProgramTest, WatchOnAPipePrintsPlainReports) {
    TestHome home;
    // Ended by a signal from the shell after two passes.
    const Exit e = home.programs.run(
        {"/bin/sh", "-c", "\"$0\" watch & pid=$!; sleep 4; kill -TERM $pid; wait $pid", kCli});
    EXPECT_EQ(e.code, 0) << e.err;
    EXPECT_FALSE(hasEscape(e.out));
    // The same report twice (nothing changed), a blank line between them.
    ASSERT_EQ(e.out.size() % 2, 1u) << e.out;
    const std::size_t half = e.out.size() / 2;
    EXPECT_EQ(e.out.substr(0, half), e.out.substr(half + 1));
    EXPECT_EQ(e.out.substr(half - 1, 2), "\n\n");
    EXPECT_EQ(e.out.rfind("Limits\n", 0), 0u);
}

} // namespace
