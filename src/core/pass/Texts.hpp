#pragma once

#include "ChatSummary.hpp"
#include "Limits.hpp"
#include "Time.hpp"
#include "TimeOfDay.hpp"
#include "ToolEater.hpp"

#include <cstdint>
#include <string>
#include <string_view>

namespace vellumkite {

// What the popover and the terminal report both say, word for word.
struct Texts {
    static constexpr std::string_view kFiveHourLimit = "5-hour limit";
    static constexpr std::string_view kWeeklyLimit = "Weekly limit";
    static constexpr std::string_view kLimits = "Limits";
    static constexpr std::string_view kNoLimits = "No limit reading yet. Turn on the Vellumkite "
                                                  "status line to see your official 5-hour and "
                                                  "weekly %.";
    // The terminal has no button to turn them on; it names the command that does.
    static constexpr std::string_view kNoLimitsInTerminal =
        "No limit reading yet. Run \"vellumkite-cli setup\" to see your official 5-hour and "
        "weekly %.";
    static constexpr std::string_view kThisChat = "This chat";
    static constexpr std::string_view kNoChats = "No chats in the last week.";
    static constexpr std::string_view kLive = "Live";
    static constexpr std::string_view kTopChats = "Using the most today";
    static constexpr std::string_view kNoTopChats = "Nothing yet today.";
    static constexpr std::string_view kToolEaters = "Top tool eaters today";
    static constexpr std::string_view kNoToolEaters = "No tool use yet today.";
    static constexpr std::string_view kToolNote =
        "Tool output stays in the chat and is re-read by every later message. The rest of your "
        "usage is chat history and Claude's writing.";

    // "34% · resets in 2h 3m".
    static std::string limitDetail(const Limits::Window& window, Instant now);
    // "86k re-read every message".
    static std::string chatSize(std::int64_t tokens);
    // "≈ 0.9 % of your 5-hour limit per message".
    static std::string perMessage(double percentOfFiveHours);
    // "full at 4:10 PM".
    static std::string fullAt(Instant when, const TimeOfDayFormatter& timeOfDay);
    // "7k/min · last 15 min".
    static std::string burnRate(double perMinute);
    // "40 msgs · 12m ago".
    static std::string chatDetail(const ChatSummary& chat, Instant now);
    // "18 calls · 108k added".
    static std::string toolDetail(const ToolEater& eater);
};

} // namespace vellumkite
