#pragma once

#include "CoachInput.hpp"
#include "Thresholds.hpp"
#include "TimeOfDay.hpp"
#include "Tip.hpp"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vellumkite {

// The rules that turn one snapshot of figures into advice. Pure: the same input, thresholds and
// formatter always give the same tips.
struct Coach {
    // Every tip that applies, in rule order; never empty ("ok" when nothing else applies).
    static std::vector<Tip> tips(const CoachInput& input, const Thresholds& thresholds,
                                 const TimeOfDayFormatter& timeOfDay = defaultTimeOfDay());
    // The first of tips(): the rule order decides, not the level.
    static Tip best(const CoachInput& input, const Thresholds& thresholds,
                    const TimeOfDayFormatter& timeOfDay = defaultTimeOfDay());

    // The advice for a tool category, empty for categories that get no tool tip.
    static std::string_view adviceFor(std::string_view category);
};

} // namespace vellumkite
