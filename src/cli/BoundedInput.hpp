#pragma once

#include <chrono>
#include <cstddef>
#include <string>

namespace vellumkite {

// Reads a whole input of modest size from a file descriptor without ever waiting forever.
struct BoundedInput {
    std::string bytes;
    // True when end of input was reached within the size limit and the time limit. Otherwise
    // `bytes` holds what came before reading stopped, and the rest is left unread.
    bool complete = false;

    // A terminal counts as an empty input: nobody types a status-line document by hand.
    static BoundedInput read(int fd, std::size_t maxBytes, std::chrono::milliseconds timeout);
};

} // namespace vellumkite
