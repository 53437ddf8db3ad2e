#pragma once

#include "Time.hpp"

#include <chrono>
#include <compare>
#include <optional>
#include <string>
#include <string_view>

namespace vellumkite {

// A calendar day in the process's time zone (TZ). Day arithmetic is on the calendar, so a day
// of 23 or 25 hours is still one day.
struct LocalDate {
    std::chrono::year_month_day ymd;

    // "2026-12-07"; nothing for anything else, including dates that do not exist.
    static std::optional<LocalDate> parse(std::string_view text);
    // The local day that contains t.
    static LocalDate of(Instant t);

    // The day's first instant (after midnight where a clock change skips it).
    Instant start() const;
    LocalDate plusDays(int days) const;
    // 0 for Sunday to 6 for Saturday.
    unsigned weekday() const;
    // The first day of the week that holds this day, weeks starting on `firstWeekday`.
    LocalDate weekStart(unsigned firstWeekday) const;

    std::string text() const;      // "2026-12-07"
    std::string monthText() const; // "2026-12"

    // Field by field: year_month_day's own ordering is missing from some standard libraries.
    std::strong_ordering operator<=>(const LocalDate& o) const {
        if (const auto c = int(ymd.year()) <=> int(o.ymd.year()); c != 0)
            return c;
        if (const auto c = unsigned(ymd.month()) <=> unsigned(o.ymd.month()); c != 0)
            return c;
        return unsigned(ymd.day()) <=> unsigned(o.ymd.day());
    }
    bool operator==(const LocalDate& o) const { return (*this <=> o) == 0; }
};

} // namespace vellumkite
