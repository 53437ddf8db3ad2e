#pragma once

#include "Time.hpp"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vellumkite {

// One official reading of every limit window the assistant reported at once, as the journal
// keeps it: one line of JSON per reading,
// {"at":1765100000.123,"rate_limits":{"five_hour":{"used_percentage":34,"resets_at":1765112345}}},
// so that a line can be judged by the same rules as the limits file.
struct LimitReading {
    struct Window {
        std::string name; // as the assistant sends it: "five_hour", "seven_day", ...
        double percent = 0;
        Instant resetsAt;
        bool operator==(const Window&) const = default;
    };

    Instant at; // when it was read
    std::vector<Window> windows;

    bool operator==(const LimitReading&) const = default;

    // More windows or longer names than this no assistant sends; the rest are left out, so a
    // hostile input cannot make a line of megabytes.
    static constexpr std::size_t kMaxWindows = 16;
    static constexpr std::size_t kMaxName = 64;

    // The windows of a limits file's text ({"rate_limits": {...}}) read at `at`: each member that
    // has a finite used_percentage and resets_at. Nothing without any.
    static std::optional<LimitReading> fromLimitsFile(std::string_view text, Instant at);
    // A journal line (without its line feed); nothing for a line that is not one.
    static std::optional<LimitReading> parse(std::string_view line);
    // The journal line, with its line feed.
    std::string line() const;

    // The same windows with the same percentages and resets, whatever their order and time.
    bool sameWindows(const LimitReading& other) const;
};

} // namespace vellumkite
