#pragma once

#include <string_view>

namespace vellumkite {

// Plain file-descriptor helpers, for code that must not load Qt.
struct Fd {
    // Writes everything, across short writes and interruptions; false on an error.
    static bool writeAll(int fd, std::string_view bytes);

    // A pipe whose ends are closed on exec (and non-blocking when asked). pipe2 would do this at
    // once, but macOS lacks it. False, with nothing left open, on an error.
    static bool makePipe(int ends[2], bool nonBlocking = false);

    // Marks a descriptor close-on-exec (SOCK_CLOEXEC and friends are not everywhere).
    static bool setCloseOnExec(int fd);
};

} // namespace vellumkite
