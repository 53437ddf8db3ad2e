#pragma once

#include <cstddef>
#include <string_view>

namespace vellumkite {

// A fixed byte pattern found with a SIMD filter on two of its bytes, then confirmed with a
// compare. The pre-filter runs over every appended byte, so this is several times faster than
// memmem on log lines. Pick the two probe positions at bytes that are rare in the haystack.
class ByteSearch {
public:
    constexpr ByteSearch(std::string_view needle, std::size_t probeA, std::size_t probeB)
        : needle_(needle), a_(probeA), b_(probeB) {}

    bool in(std::string_view haystack) const { return find(haystack) != nullptr; }
    const char* find(std::string_view haystack) const;

    std::string_view needle() const { return needle_; }

private:
    std::string_view needle_;
    std::size_t a_, b_;
};

} // namespace vellumkite
