#include "LogReader.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vellumkite {

namespace {

constexpr std::uint64_t kNoStop = std::numeric_limits<std::uint64_t>::max();

} // namespace

LogReader::LogReader(std::size_t chunk, std::size_t maxLine, std::size_t padding)
    : chunk_(std::max<std::size_t>(chunk, 16)), maxLine_(maxLine), padding_(padding),
      buffer_(nullptr, Unmap{}) {}

void LogReader::Unmap::operator()(char* p) const {
    ::munmap(p, bytes);
}

bool LogReader::ensureCapacity(std::size_t needed, std::size_t kept) {
    if (needed <= capacity_)
        return true;
    std::size_t grown = std::max(needed, capacity_ * 2);
    grown = std::min(grown, maxLine_ + chunk_);
    if (grown < needed)
        return false;
    const std::size_t bytes = grown + padding_;
    void* p = MAP_FAILED;
#ifdef __linux__
    // Moves the pages rather than copying them, so that a long line is never held twice.
    if (buffer_)
        p = ::mremap(buffer_.get(), buffer_.get_deleter().bytes, bytes, MREMAP_MAYMOVE);
    if (p != MAP_FAILED) {
        (void)buffer_.release();
        kept = 0;
    }
#endif
    if (p == MAP_FAILED)
        p = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED)
        return false;
    auto* fresh = static_cast<char*>(p);
    if (kept > 0)
        std::memcpy(fresh, buffer_.get(), kept);
    buffer_ = std::unique_ptr<char, Unmap>(fresh, Unmap{bytes});
    capacity_ = grown;
    return true;
}

void LogReader::shrink(std::size_t keep) {
    if (capacity_ > std::max(keep, chunk_)) {
        buffer_.reset();
        capacity_ = 0;
    }
}

std::optional<std::uint64_t> LogReader::read(int fd, std::uint64_t start, std::uint64_t end,
                                             Sink& sink) {
    return readAny(fd, {start, end, kNoStop, false}, sink).consumed;
}

LogReader::Slice LogReader::readSlice(int fd, std::uint64_t from, std::uint64_t stop,
                                      std::uint64_t end, bool first, Sink& sink) {
    // Reading from the byte before `from` and dropping what comes before the first line feed:
    // when that byte is a line feed, nothing is dropped.
    if (first || from == 0)
        return readAny(fd, {from, end, stop, false}, sink);
    return readAny(fd, {from - 1, end, stop, true}, sink);
}

LogReader::Slice LogReader::readAny(int fd, Bounds b, Sink& sink) {
    // Past the file's end there is nothing to map, and nothing a read would find.
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
        b.end = std::min(b.end, static_cast<std::uint64_t>(st.st_size));
    Slice out;
    if (b.end <= b.start)
        return out;
    if (!b.skipFirst)
        out.begun = b.start;
    if (!ensureCapacity(chunk_, 0))
        return out;
    std::uint64_t base = b.start; // file offset of buffer_[0]
    std::size_t filled = 0;       // bytes in buffer_
    std::size_t scanned = 0;      // bytes of buffer_ known to hold no line feed
    bool skipping = b.skipFirst;  // inside a line not to hand out: drop bytes up to its end

    while (base + filled < b.end) {
        // A line that has outgrown the limit is not worth more memory.
        if (filled == capacity_ &&
            (filled > maxLine_ || !ensureCapacity(capacity_ + chunk_, filled))) {
            // The line in the buffer is too long to hold: forget it and skip to its line feed.
            base += filled;
            filled = scanned = 0;
            skipping = true;
        }
        const std::uint64_t want64 =
            std::min<std::uint64_t>(capacity_ - filled, b.end - base - filled);
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(want64, chunk_));
        ssize_t got;
        do {
            got = ::pread(fd, buffer_.get() + filled, want, static_cast<off_t>(base + filled));
        } while (got < 0 && errno == EINTR);
        if (got <= 0)
            break; // a read error, or the file shrank under us: keep what was complete
        filled += static_cast<std::size_t>(got);

        char* data = buffer_.get();
        std::size_t lineStart = 0;
        while (scanned < filled) {
            auto* nl = static_cast<char*>(std::memchr(data + scanned, '\n', filled - scanned));
            if (!nl) {
                scanned = filled;
                break;
            }
            const auto at = static_cast<std::size_t>(nl - data);
            if (skipping)
                skipping = false;
            else if (at > lineStart && at - lineStart <= maxLine_)
                sink.line(std::string_view(data + lineStart, at - lineStart), base + lineStart);
            lineStart = at + 1;
            scanned = lineStart;
            out.consumed = base + lineStart;
            if (!out.begun)
                out.begun = out.consumed;
            if (*out.consumed >= b.stop)
                return out;
        }
        if (skipping) {
            // Nothing of the long line is kept.
            base += filled;
            filled = scanned = 0;
        } else if (lineStart > 0) {
            std::memmove(data, data + lineStart, filled - lineStart);
            base += lineStart;
            filled -= lineStart;
            scanned -= lineStart;
        }
    }
    return out;
}

} // namespace vellumkite
