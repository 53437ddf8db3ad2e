#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace vellumkite {

// A wall-clock instant. Microseconds keep every RFC 3339 fraction we care about and give a range
// of several hundred thousand years, so no four-digit year can overflow.
using Instant = std::chrono::time_point<std::chrono::system_clock, std::chrono::microseconds>;

// The source of "now". Tests drive it; the programs pass systemClock().
using Clock = std::function<Instant()>;

Clock systemClock();
Instant systemNow();

inline constexpr Instant kDistantPast = Instant::min();
inline constexpr Instant kDistantFuture = Instant::max();

// t + seconds, saturating at the ends of the representable range (NaN leaves t unchanged).
Instant addSeconds(Instant t, double seconds);

// Seconds since 1970 as a double, or the instant for such a count (saturating; NaN gives the
// epoch).
double toUnixSeconds(Instant t);
Instant fromUnixSeconds(double seconds);

// b - a in seconds.
double secondsBetween(Instant a, Instant b);

// The first instant of the local calendar day that contains t, in the process's time zone (TZ).
// Where midnight does not exist (a daylight-saving jump at 00:00) it is the first instant that
// does, for example 01:00.
Instant startOfLocalDay(Instant t);

// The local date and time as a file name takes it: "20261207-141503".
std::string fileStamp(Instant t);

} // namespace vellumkite
