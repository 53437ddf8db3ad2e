#pragma once

#include "ChatSummary.hpp"
#include "LimitProjection.hpp"
#include "Limits.hpp"
#include "Tip.hpp"
#include "ToolEater.hpp"

#include <optional>
#include <string>
#include <vector>

namespace vellumkite {

// Everything one refresh pass publishes: the figures the views and the terminal tool show.
struct Snapshot {
    static constexpr std::size_t kTopChats = 5;
    static constexpr std::size_t kToolEaters = 4;
    static constexpr std::size_t kSparklineMinutes = 30;

    std::optional<Limits> limits;
    std::optional<ChatSummary> currentChat;
    std::vector<ChatSummary> topChats; // today's heaviest, at most kTopChats
    std::vector<ToolEater> toolEaters; // today's heaviest categories, at most kToolEaters
    double todayWeight = 0;            // over all of today's chats, not only the top ones
    double burnPerMin = 0;             // over the last 15 minutes
    std::vector<double> sparkline;     // weight per minute, oldest first, kSparklineMinutes
    std::vector<Tip> tips;             // the coach's whole list; the first one is shown
    // From the kept readings: the current chat's next message in percent of the 5-hour window,
    // once one percent's weight is known, and when each window's current instance fills.
    std::optional<double> percentPerMessage;
    std::vector<LimitProjection> projections;

    bool operator==(const Snapshot&) const = default;

    // The first tip, the one the views show.
    std::optional<Tip> tip() const;

    // Whether `later`, shown at `now`, looks the same as this snapshot shown at `shown`: the same
    // figures, and every time told relative to the clock ("12m ago", "resets in 2h 3m", in whole
    // minutes) still the same.
    bool looksSame(const Snapshot& later, Instant shown, Instant now) const;
};

// The menu-bar title: "…" before the first pass, then the 5-hour percentage, else the current
// chat's size, else "–".
std::string menuTitle(bool loaded, const std::optional<Limits>& limits,
                      const std::optional<ChatSummary>& currentChat);
inline std::string menuTitle(bool loaded, const Snapshot& s) {
    return menuTitle(loaded, s.limits, s.currentChat);
}

} // namespace vellumkite
