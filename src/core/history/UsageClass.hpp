#pragma once

#include <cstdint>
#include <optional>

namespace vellumkite {

// What decides the price of a reply besides its model and counts: its UTC day (which rate
// period is in force), fast mode, US-only inference and the size of its prompt (input, cache
// reads and cache writes), which sets its band. Sums kept per class can be priced exactly by
// any price book whose band thresholds the prompt range does not straddle.
struct UsageClass {
    std::int64_t day = 0; // UTC days since 1970-01-01
    bool fast = false;
    bool usOnly = false;
    std::int64_t promptAbove = 0;             // every prompt of the class is larger than this
    std::optional<std::int64_t> promptAtMost; // and at most this; none: no bound
    bool operator==(const UsageClass&) const = default;
};

} // namespace vellumkite
