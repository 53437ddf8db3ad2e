#pragma once

#include "TimeOfDay.hpp"

namespace vellumkite {

// Times of day in the tips in the user's locale and time zone: "3:45 PM" for en_US, "15:45" for
// de_DE.
struct LocaleTimeOfDay {
    static TimeOfDayFormatter formatter();
};

} // namespace vellumkite
