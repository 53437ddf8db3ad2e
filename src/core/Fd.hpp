#pragma once

#include <string_view>

namespace vellumkite {

// Plain file-descriptor output for the programs that must not load Qt.
struct Fd {
    // Writes everything, across short writes and interruptions; false on an error.
    static bool writeAll(int fd, std::string_view bytes);
};

} // namespace vellumkite
