#pragma once

#include "Time.hpp"

#include <cstdint>

namespace vellumkite {

// How far a reader has read one log, and which file those bytes came from.
struct LogPosition {
    std::uint64_t offset = 0; // bytes consumed from the start, always just after a line feed
    std::uint64_t device = 0, inode = 0;
    std::uint64_t print = 0; // fingerprint of the bytes up to the offset
    // The file as the listing last showed it: the listing's stamp in this process, and its size
    // and modification time for a reader that starts again in another process.
    std::uint64_t stamp = 0;
    std::uint64_t size = 0;
    Instant modified;

    bool operator==(const LogPosition&) const = default;
};

} // namespace vellumkite
