#pragma once

#include "ChatSummary.hpp"
#include "LimitProjection.hpp"
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
    // From the kept readings: what one percent of the 5-hour window weighs, once known; the
    // weight the current chat's next message is likely to have; each window's projection.
    std::optional<double> weightPerPercent;
    double nextMessageWeight = 0;
    std::vector<LimitProjection> projections;

    // The next message in percent of the 5-hour window; nothing until that is known.
    std::optional<double> percentPerMessage() const;

    bool operator==(const CoachInput&) const = default;
};

} // namespace vellumkite
