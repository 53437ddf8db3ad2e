#pragma once

#include "Time.hpp"
#include "WindowInstance.hpp"

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace vellumkite {

// A stretch of one window instance over which the official percentage rose by at least a point:
// from one reading to the first later one at least kMinRise higher.
struct LimitSpan {
    Instant from, to;
    double rise = 0;
    bool operator==(const LimitSpan&) const = default;
};

// What one percent of a window costs this user: the weight (and list-price dollars) of the
// replies inside the spans of its recent instances, over the sum of their rises.
struct LimitCalibration {
    static constexpr double kMinRise = 1;
    // Below this many spans the figure is "not known yet".
    static constexpr std::int64_t kMinSpans = 3;

    std::int64_t spans = 0;
    double rise = 0;
    double weight = 0;
    std::optional<double> cost = 0.0; // nothing once any span's usage has no price

    bool operator==(const LimitCalibration&) const = default;

    // Takes in one span with the usage of the replies after its first reading, up to its last.
    void add(const LimitSpan& span, double spanWeight, std::optional<double> spanCost);

    // Spans without any reply inside (logs that are not read here) tell nothing.
    bool known() const { return spans >= kMinSpans && rise > 0 && weight > 0; }
    std::optional<double> weightPerPercent() const;
    std::optional<double> costPerPercent() const;

    // The spans of one instance, in time order; readings after the last rise make none.
    static std::vector<LimitSpan> spansOf(const WindowInstance& instance);
    // How far back spans count: 14 days for the 5-hour window, 8 weeks for the others.
    static double lookbackSeconds(std::string_view window);
};

} // namespace vellumkite
