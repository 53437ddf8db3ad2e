#include "StatusScreen.hpp"

#include <cmath>
#include <gtest/gtest.h>
#include <sstream>

using namespace vellumkite;

namespace {

const Instant kNow = fromUnixSeconds(1'750'000'000);

Snapshot busyDay() {
    Snapshot s;
    s.limits = Limits{Limits::Window{34.5, addSeconds(kNow, 2 * 3600 + 5 * 60 + 30)},
                      Limits::Window{85, addSeconds(kNow, 3 * 86400 + 4 * 3600)}, kNow};
    s.currentChat = ChatSummary{
        "s1", "/home/you/code/vellumkite/", addSeconds(kNow, -300), 18, 160000, 600, 10};
    s.topChats = {*s.currentChat, ChatSummary{"s2", "/home/you/" + std::string(80, 'n'),
                                              addSeconds(kNow, -7200), 3, 1000, 0.4, 1}};
    s.toolEaters = {ToolEater{"File reads", 12, 48000, 300, 9000}};
    s.todayWeight = 1000;
    s.burnPerMin = 999.9;
    s.sparkline.assign(30, 0);
    s.sparkline[27] = 0.25;
    s.sparkline[28] = 0.5;
    s.sparkline[29] = 0.9;
    s.tips = {Tip{"chat.soft", Tip::Level::warn, "Chat getting long (160k)",
                  "Finish this task, then say \"wrap up\" and start a new chat.", "chat.soft|s1"}};
    return s;
}

std::string render(const Snapshot& s, bool colour = false, int width = 64) {
    return StatusScreen::render(s, Thresholds{}, kNow, StatusScreen::Style{colour, width});
}

TEST(StatusScreenTest, MirrorsThePopoverTextsAndForms) {
    EXPECT_EQ(render(busyDay()),
              "5-hour limit  \u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2500\u2500\u2500\u2500"
              "\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500         35% \u00b7 resets in "
              "2h 5m\n"
              "Weekly limit  \u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501\u2501"
              "\u2501\u2501\u2501\u2501\u2501\u2501\u2500\u2500\u2500         85% \u00b7 resets in "
              "3d 4h\n"
              "\n"
              "This chat\n"
              "\u25cf 160k re-read every message                          vellumkite\n"
              "[!]  Chat getting long (160k)\n"
              "     Finish this task, then say \"wrap up\" and start a new chat.\n"
              "\n"
              "Live                                       999/min \u00b7 last 15 min\n"
              "\u2581\u2581\u2581\u2581\u2581\u2581\u2581\u2581\u2581\u2581\u2581\u2581\u2581\u2581"
              "\u2581\u2581\u2581\u2581\u2581\u2581\u2581\u2581\u2581\u2581\u2581\u2581\u2581\u2582"
              "\u2584\u2587\n"
              "\n"
              "Using the most today\n"
              " 60%  vellumkite                                18 msgs \u00b7 5m ago\n"
              "  0%  nnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnn\u2026  3 msgs \u00b7 2h ago\n"
              "\n"
              "Top tool eaters today\n"
              " 30%  File reads                            12 calls \u00b7 48k added\n"
              "Tool output stays in the chat and is re-read by every later\n"
              "message. The rest of your usage is chat history and Claude's\n"
              "writing.\n");
}

TEST(StatusScreenTest, TheNextMessageInPercentOfTheWindowOnceKnown) {
    Snapshot s = busyDay();
    s.percentPerMessage = 0.94;
    const std::string text = render(s);
    EXPECT_NE(text.find("\u25cf 160k re-read every message                          vellumkite\n"
                        "  \u2248 0.9 % of your 5-hour limit per message\n"
                        "[!]  Chat getting long (160k)\n"),
              std::string::npos)
        << text;
}

TEST(StatusScreenTest, EmptyPassShowsTheWaitingTexts) {
    Snapshot s;
    s.limits = Limits{}; // a file without either window reads as no reading
    s.sparkline.assign(30, 0);
    const std::string text = render(s);
    EXPECT_EQ(text.find("Limits\nNo limit reading yet. Run \"vellumkite-cli setup\" to see your\n"
                        "official 5-hour and weekly %.\n"),
              0u);
    EXPECT_NE(text.find("This chat\nNo chats in the last week.\n\n"), std::string::npos);
    EXPECT_NE(text.find("0/min \u00b7 last 15 min"), std::string::npos);
    EXPECT_NE(text.find("Using the most today\nNothing yet today.\n"), std::string::npos);
    EXPECT_NE(text.find("Top tool eaters today\nNo tool use yet today.\n"), std::string::npos);
    EXPECT_EQ(text.find("Tool output stays"), std::string::npos);
}

TEST(StatusScreenTest, LinesStayWithinTheWidth) {
    for (const int width : {64, 40}) {
        std::istringstream lines(render(busyDay(), false, width));
        for (std::string line; std::getline(lines, line);)
            EXPECT_LE(StatusScreen::columns(line), static_cast<std::size_t>(width)) << line;
    }
}

TEST(StatusScreenTest, ColoursFollowTheViews) {
    const auto gauge = [](double percent) {
        Snapshot s;
        s.limits = Limits{Limits::Window{percent, addSeconds(kNow, 600)}, std::nullopt, kNow};
        return render(s, true);
    };
    // From the unrounded value: 49.9 shows as 50 % but stays green.
    EXPECT_NE(gauge(49.9).find("\x1b[32m\u2501"), std::string::npos);
    EXPECT_NE(gauge(50).find("\x1b[33m\u2501"), std::string::npos);
    EXPECT_NE(gauge(79.9).find("\x1b[33m\u2501"), std::string::npos);
    EXPECT_NE(gauge(130).find("\x1b[31m\u2501"), std::string::npos);
    EXPECT_EQ(gauge(-5).find("\u2501"), std::string::npos); // an empty track only

    Snapshot s = busyDay();
    const auto dot = [&](std::int64_t size) {
        s.currentChat->size = size;
        return render(s, true);
    };
    EXPECT_NE(dot(149999).find("\x1b[32m\u25cf"), std::string::npos);
    EXPECT_NE(dot(150000).find("\x1b[33m\u25cf"), std::string::npos);
    EXPECT_NE(dot(300000).find("\x1b[31m\u25cf"), std::string::npos);
    // The tip's symbol in its level's colour.
    EXPECT_NE(render(busyDay(), true).find("\x1b[33m[!]  \x1b[0m"), std::string::npos);
}

TEST(StatusScreenTest, SparklineScalesAgainstAtLeastOne) {
    EXPECT_EQ(StatusScreen::sparkline({0, 0.5, 1}), "\u2581\u2584\u2588");
    EXPECT_EQ(StatusScreen::sparkline({0, 10, 5, 0.01, 9}), "\u2581\u2588\u2584\u2581\u2587");
    EXPECT_EQ(StatusScreen::sparkline({}), "");
    // Values that are not numbers draw the lowest bar and do not set the scale.
    EXPECT_EQ(StatusScreen::sparkline({std::nan(""), 0.5}), "\u2581\u2584");
    EXPECT_EQ(StatusScreen::columns(StatusScreen::sparkline({INFINITY, 1, -1})), 3u);
}

TEST(StatusScreenTest, ValuesWithoutTextShowTheNoValueMark) {
    Snapshot s = busyDay();
    s.limits->fiveHour->usedPercent = NAN;
    s.burnPerMin = 1e300;
    s.todayWeight = INFINITY;
    const std::string text = render(s);
    EXPECT_NE(text.find("\u2014 \u00b7 resets in 2h 5m"), std::string::npos) << text;
    EXPECT_NE(text.find("\u2014/min"), std::string::npos);
    EXPECT_NE(text.find(" 0%  vellumkite"), std::string::npos); // a share of infinity is 0
}

} // namespace
