#pragma once

#include "ChatSummary.hpp"
#include "Limits.hpp"
#include "Time.hpp"
#include "ToolEater.hpp"

#include <optional>
#include <vector>

namespace vellumkite {

// One snapshot of the figures the coach judges.
struct CoachInput {
    Instant now = systemNow();
    std::optional<ChatSummary> currentChat;
    double burnPerMin = 0; // weight per minute over the last 15 minutes
    std::optional<Limits::Window> fiveHour;
    double fiveHourWeight = 0;         // weight spent since the 5-hour window began
    std::vector<ToolEater> toolEaters; // today's, heaviest first
    double todayWeight = 0;

    bool operator==(const CoachInput&) const = default;
};

} // namespace vellumkite
