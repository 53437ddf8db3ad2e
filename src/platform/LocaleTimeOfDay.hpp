#pragma once

#include "Environment.hpp"
#include "TimeOfDay.hpp"

namespace vellumkite {

// Times of day in the tips in the user's locale and time zone, to the minute: "3:45 PM" for
// en_US, "15:45" for de_DE and for the C locale.
struct LocaleTimeOfDay {
    // The locale is the one Qt's system locale takes on Unix, chosen from the environment given:
    // LC_ALL, else LC_TIME, else LANG, else C. The formatter holds it by value, so it may run on
    // any thread.
    static TimeOfDayFormatter formatter(const Environment& env = Environment::process());
    // The same with the short day name before it: "Wed 3:45 PM", "Mi. 15:45".
    static TimeOfDayFormatter dayAndTime(const Environment& env = Environment::process());
};

} // namespace vellumkite
