#pragma once

// One check's line in the doctor's output, found by the check's name.
#include <string>

namespace vellumkite::testing {

inline std::string doctorLine(const std::string& out, const std::string& name) {
    const std::size_t at = out.find(" " + name + " ");
    if (at == std::string::npos)
        return "<no " + name + " line>";
    const std::size_t start = out.rfind('\n', at);
    const std::size_t from = start == std::string::npos ? 0 : start + 1;
    return out.substr(from, out.find('\n', at) - from);
}

} // namespace vellumkite::testing
