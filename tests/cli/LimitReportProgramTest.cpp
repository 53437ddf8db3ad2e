// vellumkite-cli report limits as scripts run it: readings the status line kept while nothing
// else ran, a steady burn in the logs, and the figures by hand.
#include "LimitReading.hpp"
#include "TestHome.hpp"

#include <cmath>
#include <gtest/gtest.h>
#include <simdjson.h>

using namespace vellumkite;
using namespace vellumkite::testing;
namespace fs = std::filesystem;

namespace {

// The keys of an object, in order.
std::vector<std::string> keysOf(simdjson::dom::object o) {
    std::vector<std::string> out;
    for (const auto field : o)
        out.emplace_back(field.key);
    return out;
}

std::string iso(Instant t) {
    return Timestamp::format(t);
}

class LimitReportProgramTest : public ::testing::Test {
protected:
    TestHome home;
    // Whole seconds, so that every time survives the journal's seconds exactly.
    const Instant now = fromUnixSeconds(std::floor(toUnixSeconds(systemNow())));
    Instant minutes(double m) const { return addSeconds(now, m * 60); }

    void SetUp() override {
        // A reply of 1,000 weight (1,000 input tokens of claude-sonnet-4-5, $0.003) every
        // minute for the last five hours.
        std::vector<std::string> times;
        for (int m = 1; m <= 300; ++m)
            times.push_back(iso(minutes(-m)));
        writeFile(home.chatFile("s1"), steadyReplies(times, "claude-sonnet-4-5", 1000));

        // What the status line kept over the last days, with nothing else running: a window
        // three days ago that hardly rose, one that reset three hours ago (50, 52, 54 % ten
        // minutes apart) and the current one, 0 % to 60 % in steps of 5 every ten minutes.
        std::string journal;
        const auto add = [&](double at, double percent, double resets) {
            journal += LimitReading{minutes(at), {{"five_hour", percent, minutes(resets)}}}.line();
        };
        add(-3 * 1440 - 60, 10, -3 * 1440 + 200);
        add(-3 * 1440 - 50, 10.5, -3 * 1440 + 200);
        for (int k = 0; k < 3; ++k)
            add(-300 + 10 * k, 50 + 2 * k, -180);
        for (int k = 0; k <= 12; ++k)
            add(-130 + 10 * k, 5 * k, 120);
        writeFile(home.journal(), journal);
        ::chmod(home.journal().c_str(), 0600);
        // And the weekly window, read by the real status line just now.
        const std::string weekly = R"({"rate_limits":{"seven_day":{"used_percentage":5,)"
                                   R"("resets_at":)" +
                                   std::to_string(toUnixSeconds(minutes(3 * 1440))) + "}}}";
        ASSERT_EQ(home.programs.run({kStatusLine}, weekly).code, 0);
        ASSERT_EQ(home.journalLines().size(), 19u);
    }
};

} // namespace

TEST_F(LimitReportProgramTest, JsonHasTheDocumentedShapeAndTheHandFigures) {
    const Exit e = home.programs.run({kCli, "report", "limits", "--json", "--tz", "UTC"});
    ASSERT_EQ(e.code, 0) << e.err;
    simdjson::dom::parser parser;
    simdjson::dom::element j;
    ASSERT_EQ(parser.parse(e.out).get(j), simdjson::SUCCESS) << e.out;
    EXPECT_EQ(keysOf(j), (std::vector<std::string>{"report", "timezone", "since", "until",
                                                   "windows", "calibration", "projection"}));
    EXPECT_EQ(std::string_view(j["report"]), "limits");
    EXPECT_EQ(std::string_view(j["timezone"]), "UTC");
    EXPECT_EQ(std::string_view(j["since"]), iso(minutes(-3 * 1440 - 60)).substr(0, 10));

    simdjson::dom::array windows = j["windows"];
    ASSERT_EQ(windows.size(), 4u);
    for (const auto w : windows) {
        EXPECT_EQ(keysOf(w),
                  (std::vector<std::string>{"name", "resetsAt", "first", "last", "peakPercent",
                                            "readings", "weight", "cost"}));
        for (const auto r : w["readings"].get_array())
            EXPECT_EQ(keysOf(r), (std::vector<std::string>{"at", "percent"}));
    }
    // Days later, the window read while nothing ran; no reply of it is in the logs.
    const auto old = windows.at(0).value();
    EXPECT_EQ(std::string_view(old["name"]), "five_hour");
    EXPECT_EQ(std::string_view(old["first"]), iso(minutes(-3 * 1440 - 60)));
    EXPECT_EQ(std::string_view(old["last"]), iso(minutes(-3 * 1440 - 50)));
    EXPECT_EQ(double(old["peakPercent"]), 10.5);
    EXPECT_EQ(double(old["weight"]), 0);
    // The window that reset three hours ago ran from eight hours ago: the replies of its last
    // two hours, 120 of them; the current one has had the 180 since three hours ago; the
    // week has had them all.
    const auto before = windows.at(1).value();
    EXPECT_EQ(std::string_view(before["resetsAt"]), iso(minutes(-180)));
    EXPECT_EQ(double(before["peakPercent"]), 54);
    EXPECT_EQ(double(before["weight"]), 120000);
    EXPECT_NEAR(double(before["cost"]), 0.36, 1e-9);
    const auto current = windows.at(2).value();
    EXPECT_EQ(current["readings"].get_array().size(), 13u);
    EXPECT_EQ(std::string_view(current["readings"].at(12)["at"]), iso(minutes(-10)));
    EXPECT_EQ(double(current["readings"].at(12)["percent"]), 60);
    EXPECT_EQ(double(current["weight"]), 180000);
    const auto week = windows.at(3).value();
    EXPECT_EQ(std::string_view(week["name"]), "seven_day");
    EXPECT_EQ(double(week["weight"]), 300000);
    EXPECT_NEAR(double(week["cost"]), 0.9, 1e-9);

    // 14 spans of ten minutes (2 of 2 points, 12 of 5), ten replies each: 140,000 weight and
    // $0.42 over 64 points.
    const auto five = j["calibration"]["five_hour"];
    EXPECT_EQ(keysOf(five),
              (std::vector<std::string>{"weightPerPercent", "costPerPercent", "spans"}));
    EXPECT_EQ(double(five["weightPerPercent"]), 2187.5);
    EXPECT_NEAR(double(five["costPerPercent"]), 0.42 / 64, 1e-12);
    EXPECT_EQ(std::int64_t(five["spans"]), 14);
    const auto weekly = j["calibration"]["seven_day"];
    EXPECT_TRUE(weekly["weightPerPercent"].is_null());
    EXPECT_TRUE(weekly["costPerPercent"].is_null());
    EXPECT_EQ(std::int64_t(weekly["spans"]), 0);

    // The last hour: 35 % to 60 % in 50 minutes; the 40 points left take 80 minutes from the
    // last reading, ten minutes ago. The week has one reading and no known percent.
    const auto full = j["projection"]["five_hour"];
    EXPECT_EQ(keysOf(full), (std::vector<std::string>{"percent", "at", "fullAt", "resetsAt"}));
    EXPECT_EQ(double(full["percent"]), 60);
    EXPECT_EQ(std::string_view(full["at"]), iso(minutes(-10)));
    EXPECT_EQ(std::string_view(full["fullAt"]), iso(minutes(70)));
    EXPECT_EQ(std::string_view(full["resetsAt"]), iso(minutes(120)));
    EXPECT_TRUE(j["projection"]["seven_day"]["fullAt"].is_null());
    EXPECT_EQ(double(j["projection"]["seven_day"]["percent"]), 5);
}

TEST_F(LimitReportProgramTest, TheReadingsStayInTheHistoryAndTheTableSaysWhatIsKnown) {
    ASSERT_EQ(home.programs.run({kCli, "report", "daily"}).code, 0);
    // In the history now: the journal may go.
    fs::remove(home.journal());
    // The other commands read what one percent weighs from the history, never writing it: the
    // current chat's replies weigh 1,000 each, 1,000 / 2,187.5 of the 5-hour window.
    for (const char* command : {"json", "waybar"}) {
        const Exit e = home.programs.run({kCli, command});
        ASSERT_EQ(e.code, 0) << e.err;
        simdjson::dom::parser parser;
        double percent = 0;
        ASSERT_EQ(parser.parse(e.out)["percentPerMessage"].get_double().get(percent),
                  simdjson::SUCCESS)
            << e.out;
        EXPECT_DOUBLE_EQ(percent, 1000 / 2187.5) << command;
    }
    // In the home's zone, where it is now about noon: every reading of the table falls on one day,
    // so that none needs its date.
    const Exit e = home.programs.run({kCli, "report", "limits"});
    ASSERT_EQ(e.code, 0) << e.err;
    EXPECT_NE(e.out.find("Window  Resets            First reading     Last reading  Peak   "
                         "Weight   Cost\n5-hour  "),
              std::string::npos)
        << e.out;
    EXPECT_NE(e.out.find("\nOne percent of the 5-hour limit: 2,188 weight, $0.0066 (14 spans in "
                         "the last 14 days)\nOne percent of the weekly limit: not known yet (0 "
                         "spans in the last 8 weeks; it takes 3)\n"),
              std::string::npos)
        << e.out;
    EXPECT_NE(e.out.find("5-hour limit: 60% at "), std::string::npos) << e.out;

    // Only the days asked for.
    const std::string today = iso(now).substr(0, 10);
    const Exit json =
        home.programs.run({kCli, "report", "limits", "--json", "--tz", "UTC", "--since", today});
    ASSERT_EQ(json.code, 0);
    simdjson::dom::parser parser;
    simdjson::dom::element j;
    ASSERT_EQ(parser.parse(json.out).get(j), simdjson::SUCCESS);
    EXPECT_EQ(std::string_view(j["since"]), today);
    EXPECT_EQ(j["windows"].get_array().size(), iso(minutes(-280)).substr(0, 10) == today ? 3u : 2u);

    const Exit wrong = home.programs.run({kCli, "report", "limits", "--week-start", "sunday"});
    EXPECT_EQ(wrong.code, 2);
    EXPECT_EQ(wrong.err, "vellumkite-cli report: report limits takes --since, --until, --tz and "
                         "--json, not --week-start\n");
}
