#include "LogReader.hpp"

#include "FileMap.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace vellumkite {

namespace {

constexpr std::uint64_t kNoStop = std::numeric_limits<std::uint64_t>::max();
// How far a view reaches past a slice's end, for the line that crosses it.
constexpr std::uint64_t kPastStop = std::uint64_t{64} << 10;

} // namespace

LogReader::LogReader(std::size_t chunk, std::size_t maxLine, std::size_t padding)
    : chunk_(std::max<std::size_t>(chunk, 16)), maxLine_(maxLine), padding_(padding) {}

void LogReader::Free::operator()(char* p) const {
    std::free(p);
}

bool LogReader::ensureCapacity(std::size_t needed) {
    if (needed <= capacity_)
        return true;
    std::size_t grown = std::max(needed, capacity_ * 2);
    grown = std::min(grown, maxLine_ + chunk_);
    if (grown < needed)
        return false;
    // realloc moves large blocks by remapping pages, so the old and new buffer are never both
    // resident while a long line grows.
    auto* fresh = static_cast<char*>(std::realloc(buffer_.get(), grown + padding_));
    if (!fresh)
        return false;
    (void)buffer_.release();
    buffer_.reset(fresh);
    capacity_ = grown;
    return true;
}

void LogReader::shrink() {
    if (capacity_ > chunk_) {
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
    if (copying_)
        readCopying(fd, b, out, sink);
    else
        readMapped(fd, b, out, sink);
    return out;
}

void LogReader::readMapped(int fd, const Bounds& b, Slice& out, Sink& sink) {
    FileMap map;
    const std::uint64_t end = b.end;
    std::uint64_t base = b.start; // file offset of the view's first byte: a line's start
    std::size_t want = chunk_;    // grows over a long line, back to a chunk after it
    bool skipping = b.skipFirst;  // inside a line not to hand out: drop bytes up to its end
    while (base < end) {
        auto length = static_cast<std::size_t>(std::min<std::uint64_t>(want, end - base));
        // A slice that ends soon maps little past its end: the next slice maps that again.
        if (want == chunk_ && b.stop > base && b.stop - base < length)
            length = static_cast<std::size_t>(
                std::min<std::uint64_t>(length, b.stop - base + kPastStop));
        if (!map.map(fd, base, length)) {
            readCopying(fd, {base, end, b.stop, skipping}, out, sink);
            return;
        }
        const char* data = map.data();
        const bool last = base + length >= end;
        std::size_t lineStart = 0;
        bool moveOn = false; // the next line needs a view that starts at it
        while (const auto* nl = static_cast<const char*>(
                   std::memchr(data + lineStart, '\n', length - lineStart))) {
            const auto at = static_cast<std::size_t>(nl - data);
            const std::size_t size = at - lineStart;
            if (skipping) {
                skipping = false;
            } else if (size > 0 && size <= maxLine_) {
                const std::string_view line(data + lineStart, size);
                if (at + padding_ <= length + map.slack()) {
                    sink.line(line, base + lineStart);
                } else if (!last) {
                    moveOn = true; // its padding lies past the view: map again from it
                    break;
                } else {
                    // The file's last line, too near its end for the padding: a copy.
                    if (!ensureCapacity(size))
                        break;
                    std::memcpy(buffer_.get(), line.data(), size);
                    sink.line(std::string_view(buffer_.get(), size), base + lineStart);
                }
            }
            lineStart = at + 1;
            out.consumed = base + lineStart;
            if (!out.begun)
                out.begun = out.consumed;
            if (*out.consumed >= b.stop)
                return;
        }
        // Zeros stand where a shrinking file lost its pages: they hold no line feed, so no line
        // handed out was made up; stop at what was really there.
        if (map.shrank())
            break;
        if (lineStart > 0) {
            base += lineStart;
            want = chunk_;
            continue;
        }
        if (moveOn) { // a line at the view's start without room for its padding
            want = std::max(want * 2, length + padding_);
            continue;
        }
        // No line feed in the whole view.
        if (last)
            break; // an unfinished last line
        if (skipping || length > maxLine_) {
            skipping = true; // too long to hold: drop it view by view
            base += length;
            want = chunk_;
        } else {
            want = std::min(want * 2, maxLine_ + padding_ + 1);
        }
    }
}

void LogReader::readCopying(int fd, const Bounds& b, Slice& out, Sink& sink) {
    const std::uint64_t end = b.end;
    if (end <= b.start || !ensureCapacity(chunk_))
        return;
    std::uint64_t base = b.start; // file offset of buffer_[0]
    std::size_t filled = 0;       // bytes in buffer_
    std::size_t scanned = 0;      // bytes of buffer_ known to hold no line feed
    bool skipping = b.skipFirst;  // inside a line not to hand out: drop bytes up to its end

    while (base + filled < end) {
        // A line that has outgrown the limit is not worth more memory.
        if (filled == capacity_ && (filled > maxLine_ || !ensureCapacity(capacity_ + chunk_))) {
            // The line in the buffer is too long to hold: forget it and skip to its line feed.
            base += filled;
            filled = scanned = 0;
            skipping = true;
        }
        const std::uint64_t want64 =
            std::min<std::uint64_t>(capacity_ - filled, end - base - filled);
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
                return;
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
}

} // namespace vellumkite
