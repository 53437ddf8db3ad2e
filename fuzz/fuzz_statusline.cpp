// Any bytes as the status line's input: the reading must never crash, the line must stay one
// short line, and a file is saved only as an object holding the input's "rate_limits".
#include "StatusLine.hpp"

#include <cstdlib>

using namespace vellumkite;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto reading =
        StatusLine::read(std::string_view(reinterpret_cast<const char*>(data), size));
    if (reading.line.empty() || reading.line.size() > 200 ||
        reading.line.find('\n') != std::string::npos)
        std::abort();
    if (reading.limitsFile && reading.limitsFile->rfind("{\"rate_limits\":", 0) != 0)
        std::abort();
    return 0;
}
