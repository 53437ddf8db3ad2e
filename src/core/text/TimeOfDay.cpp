#include "TimeOfDay.hpp"

#include "Format.hpp"

#include <cstdio>
#include <ctime>

namespace vellumkite {

TimeOfDayFormatter defaultTimeOfDay() {
    return [](Instant t) {
        const auto seconds = std::chrono::floor<std::chrono::seconds>(t).time_since_epoch().count();
        const auto tt = static_cast<std::time_t>(seconds);
        std::tm tm{};
        if (static_cast<std::int64_t>(tt) != seconds || !localtime_r(&tt, &tm))
            return std::string(Format::kNoValue);
        char buf[16];
        std::snprintf(buf, sizeof buf, "%02d:%02d", tm.tm_hour, tm.tm_min);
        return std::string(buf);
    };
}

} // namespace vellumkite
