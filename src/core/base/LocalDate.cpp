#include "LocalDate.hpp"

#include <cstdio>
#include <ctime>

namespace vellumkite {

using namespace std::chrono;

std::optional<LocalDate> LocalDate::parse(std::string_view text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-')
        return std::nullopt;
    int parts[3] = {0, 0, 0};
    const std::size_t starts[3] = {0, 5, 8}, lengths[3] = {4, 2, 2};
    for (int p = 0; p < 3; ++p)
        for (std::size_t i = starts[p]; i < starts[p] + lengths[p]; ++i) {
            if (text[i] < '0' || text[i] > '9')
                return std::nullopt;
            parts[p] = parts[p] * 10 + (text[i] - '0');
        }
    const year_month_day ymd{year(parts[0]), month(static_cast<unsigned>(parts[1])),
                             day(static_cast<unsigned>(parts[2]))};
    if (!ymd.ok())
        return std::nullopt;
    return LocalDate{ymd};
}

LocalDate LocalDate::of(Instant t) {
    const std::time_t secs = floor<seconds>(t).time_since_epoch().count();
    std::tm local{};
    if (!localtime_r(&secs, &local))
        return LocalDate{year_month_day{floor<days>(sys_seconds{seconds{secs}})}};
    return LocalDate{year_month_day{year(local.tm_year + 1900),
                                    month(static_cast<unsigned>(local.tm_mon + 1)),
                                    day(static_cast<unsigned>(local.tm_mday))}};
}

Instant LocalDate::start() const {
    // Noon exists on every day; its day's start is found from there.
    std::tm noon{};
    noon.tm_year = static_cast<int>(ymd.year()) - 1900;
    noon.tm_mon = static_cast<int>(static_cast<unsigned>(ymd.month())) - 1;
    noon.tm_mday = static_cast<int>(static_cast<unsigned>(ymd.day()));
    noon.tm_hour = 12;
    noon.tm_isdst = -1;
    const std::time_t t = std::mktime(&noon);
    return startOfLocalDay(Instant{duration_cast<microseconds>(seconds{t})});
}

LocalDate LocalDate::plusDays(int n) const {
    return LocalDate{year_month_day{sys_days{ymd} + days{n}}};
}

unsigned LocalDate::weekday() const {
    return std::chrono::weekday{sys_days{ymd}}.c_encoding();
}

LocalDate LocalDate::weekStart(unsigned firstWeekday) const {
    return plusDays(-static_cast<int>((weekday() + 7 - firstWeekday % 7) % 7));
}

std::string LocalDate::text() const {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d-%02u-%02u", static_cast<int>(ymd.year()),
                  static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()));
    return buf;
}

std::string LocalDate::monthText() const {
    return text().substr(0, 7);
}

} // namespace vellumkite
