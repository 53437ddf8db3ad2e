#include "Time.hpp"

#include <cmath>
#include <ctime>
#include <limits>

namespace vellumkite {

using std::chrono::microseconds;

Clock systemClock() {
    return &systemNow;
}

Instant systemNow() {
    return std::chrono::time_point_cast<microseconds>(std::chrono::system_clock::now());
}

namespace {

Instant fromMicros(double us) {
    // 2^63 is exactly representable; anything at or beyond it saturates.
    constexpr double limit = 9223372036854775808.0;
    if (std::isnan(us))
        return Instant{};
    if (us >= limit)
        return kDistantFuture;
    if (us <= -limit)
        return kDistantPast;
    return Instant{microseconds{static_cast<std::int64_t>(us)}};
}

} // namespace

Instant addSeconds(Instant t, double seconds) {
    if (std::isnan(seconds))
        return t;
    const double us = static_cast<double>(t.time_since_epoch().count()) + seconds * 1e6;
    // Small offsets are done exactly in integers so that whole seconds stay exact.
    if (std::fabs(seconds) < 1e12) {
        const auto delta = static_cast<std::int64_t>(std::llround(seconds * 1e6));
        std::int64_t out;
        if (!__builtin_add_overflow(t.time_since_epoch().count(), delta, &out))
            return Instant{microseconds{out}};
    }
    return fromMicros(us);
}

double toUnixSeconds(Instant t) {
    return static_cast<double>(t.time_since_epoch().count()) / 1e6;
}

Instant fromUnixSeconds(double seconds) {
    if (std::isnan(seconds))
        return Instant{};
    return fromMicros(std::round(seconds * 1e6));
}

double secondsBetween(Instant a, Instant b) {
    return (static_cast<double>(b.time_since_epoch().count()) -
            static_cast<double>(a.time_since_epoch().count())) /
           1e6;
}

namespace {

bool localDate(std::time_t s, int& year, int& yday) {
    std::tm tm{};
    if (!localtime_r(&s, &tm))
        return false;
    year = tm.tm_year;
    yday = tm.tm_yday;
    return true;
}

} // namespace

Instant startOfLocalDay(Instant t) {
    using std::chrono::seconds;
    const auto secs = std::chrono::floor<seconds>(t).time_since_epoch().count();
    // Outside what time_t arithmetic below can handle safely, there is no meaningful local day.
    constexpr std::int64_t bound = std::int64_t{1} << 50;
    if (secs > bound || secs < -bound)
        return t;
    int year = 0, yday = 0;
    if (!localDate(static_cast<std::time_t>(secs), year, yday))
        return t;
    // The day began at most 48 hours ago in any real zone. Find the first second whose local date
    // is today's by bisection, which is right even where midnight is skipped or repeated.
    std::int64_t lo = secs - 48 * 3600; // local date before today
    std::int64_t hi = secs;             // local date is today
    while (hi - lo > 1) {
        const std::int64_t mid = lo + (hi - lo) / 2;
        int y = 0, d = 0;
        if (!localDate(static_cast<std::time_t>(mid), y, d))
            return t;
        if (y == year && d == yday)
            hi = mid;
        else
            lo = mid;
    }
    return Instant{std::chrono::duration_cast<microseconds>(seconds{hi})};
}

std::string fileStamp(Instant t) {
    const std::time_t whole =
        std::chrono::floor<std::chrono::seconds>(t).time_since_epoch().count();
    std::tm local{};
    localtime_r(&whole, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
    return text;
}

} // namespace vellumkite
