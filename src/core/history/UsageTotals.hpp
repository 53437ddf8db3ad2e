#pragma once

#include <cstdint>

namespace vellumkite {

// Token counts summed over some replies.
struct UsageTotals {
    std::int64_t input = 0;
    std::int64_t output = 0;
    std::int64_t cacheWrite = 0;   // both durations
    std::int64_t cacheWrite1h = 0; // of which kept for an hour
    std::int64_t cacheRead = 0;
    std::int64_t replies = 0;
    std::int64_t webSearches = 0;
    std::int64_t fastReplies = 0; // replies answered in fast mode

    std::int64_t totalTokens() const;
    // The same unit as a reply's weight.
    double weight() const;
    UsageTotals& operator+=(const UsageTotals& o);
    bool operator==(const UsageTotals&) const = default;
};

} // namespace vellumkite
