#pragma once

#include "Time.hpp"

#include <string>
#include <string_view>
#include <vector>

namespace vellumkite {

// One reading of one window.
struct LimitPoint {
    Instant at;
    double percent = 0;
    Instant resetsAt;
    bool operator==(const LimitPoint&) const = default;
};

// One window with one reset time: a 5-hour window from its first message to its reset, a week.
// The assistant's reset times wobble by a second or so between readings, so resets under a
// minute from the instance's first one are the same instance.
struct WindowInstance {
    static constexpr double kSameResetSeconds = 60;

    std::string name;                 // "five_hour", "seven_day", ...
    Instant resetsAt;                 // as its first reading gave it
    std::vector<LimitPoint> readings; // in time order, never empty

    bool operator==(const WindowInstance&) const = default;

    double peak() const;

    // One window's readings, in time order, cut into instances.
    static std::vector<WindowInstance> group(std::string_view name,
                                             const std::vector<LimitPoint>& readings);

    // How long a window of this name lasts, in seconds; 0 for a name we do not know.
    static double lengthSeconds(std::string_view name);
    // "5-hour", "weekly", or the name with spaces for any other ("seven_day_opus": "seven day
    // opus").
    static std::string label(std::string_view name);
};

} // namespace vellumkite
