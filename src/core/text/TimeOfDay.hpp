#pragma once

#include "Time.hpp"

#include <functional>
#include <string>

namespace vellumkite {

// Turns an instant into the short local time of day shown in tips ("14:05", "2:05 PM").
using TimeOfDayFormatter = std::function<std::string(Instant)>;

// "HH:MM" in the process's time zone, for callers without a locale-aware formatter.
TimeOfDayFormatter defaultTimeOfDay();

} // namespace vellumkite
