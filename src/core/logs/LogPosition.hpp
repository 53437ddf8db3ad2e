#pragma once

#include "LogDirectory.hpp"
#include "Time.hpp"

#include <cstdint>
#include <sys/stat.h>

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

    // Whether a reader here has nothing new to read in the listed log: in this process the
    // listing's stamp tells; a position carried over from another run has no stamp, and goes by
    // the file's identity, size and modification time.
    bool upToDate(const LogDirectory::Entry& listed) const;
    // The same, but a log read in this process that has not changed since counts as read even
    // when a line at its end is still unfinished (else such a log would never count as read).
    bool readSinceChange(const LogDirectory::Entry& listed) const;

    // Where reading the open log `fd` starts for a reader here: the offset, unless those bytes
    // were consumed from another file. A log that was replaced (another inode), shrank, or was
    // rewritten in place (the byte before the offset is no longer a line feed, or its first
    // bytes or those before the offset changed) is read again from its first byte: reading on
    // from a stale offset would lose the new file's first lines.
    std::uint64_t startIn(int fd, const struct stat& st) const;

    // A fingerprint of a log's first bytes and of the bytes just before an offset, to tell
    // whether the bytes up to the offset are still the ones that were read; 0 when they cannot
    // be read.
    static std::uint64_t fingerprint(int fd, std::uint64_t offset);
};

} // namespace vellumkite
