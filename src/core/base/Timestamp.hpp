#pragma once

#include "Time.hpp"

#include <optional>
#include <string>
#include <string_view>

namespace vellumkite {

// RFC 3339 internet date-times, as the chat logs write them.
struct Timestamp {
    // "2025-03-01T09:30:15.250Z" or with an offset such as "+01:00". The fraction is required
    // (one or more digits, kept to the microsecond); the date and time must be valid. Allocates
    // nothing.
    static std::optional<Instant> parse(std::string_view text);

    // UTC with milliseconds: "2025-03-01T09:30:15.250Z". Years outside 0000-9999 are clamped.
    static std::string format(Instant t);
};

} // namespace vellumkite
