#pragma once

#include <cstdint>
#include <limits>

namespace vellumkite {

// Token sums stop at the ends of the 64-bit range instead of overflowing.
inline std::int64_t saturatingAdd(std::int64_t a, std::int64_t b) {
    std::int64_t out;
    if (!__builtin_add_overflow(a, b, &out))
        return out;
    return b > 0 ? std::numeric_limits<std::int64_t>::max()
                 : std::numeric_limits<std::int64_t>::min();
}

} // namespace vellumkite
