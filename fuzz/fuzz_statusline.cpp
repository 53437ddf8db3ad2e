// Any bytes as the status line's input: the reading must never crash, the line must stay one
// short line, and a file is saved only as an object holding the input's "rate_limits", and
// only a reading that can be true.
#include "Limits.hpp"
#include "StatusLine.hpp"

#include <cstdlib>

using namespace vellumkite;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Instant now = fromUnixSeconds(1'750'000'000);
    const auto reading =
        StatusLine::read(std::string_view(reinterpret_cast<const char*>(data), size), now);
    if (reading.line.empty() || reading.line.size() > 200 ||
        reading.line.find('\n') != std::string::npos)
        std::abort();
    if (reading.limitsFile && reading.limitsFile->rfind("{\"rate_limits\":", 0) != 0)
        std::abort();
    // Nothing is saved that the status line itself would refuse, and a refusal saves nothing.
    if (reading.limitsFile && Limits::refusal(*reading.limitsFile, now))
        std::abort();
    if (!reading.refused.empty() && reading.limitsFile)
        std::abort();
    return 0;
}
