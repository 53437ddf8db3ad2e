// Any text as a timestamp: parse, and a parsed instant must survive a round trip through the
// UTC form to the millisecond.
#include "Timestamp.hpp"

#include <cstdlib>

using namespace vellumkite;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto t = Timestamp::parse(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!t)
        return 0;
    const std::string text = Timestamp::format(*t);
    const auto back = Timestamp::parse(text);
    if (!back)
        std::abort();
    const auto us = t->time_since_epoch().count();
    const auto ms = us >= 0 ? us / 1000 * 1000 : (us - 999) / 1000 * 1000;
    // Years beyond 9999 cannot come out of a four-digit parse, but offsets can push an instant
    // across the ends of the range that format() clamps to.
    const bool clamped =
        text.rfind("0000-01-01T00:00:00.000Z", 0) == 0 || text.rfind("9999-12-31", 0) == 0;
    if (!clamped && back->time_since_epoch().count() != ms)
        std::abort();
    return 0;
}
