#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <type_traits>

namespace vellumkite {

// Reads the complete lines of a byte range of an open file in bounded chunks. Memory is bounded by
// the chunk plus the longest line read, never by the file: lines longer than maxLine are consumed
// without being held whole and are not reported. Every line handed out is followed by `padding`
// readable bytes, so a JSON parser can work on it in place. The chunks are copied into a buffer
// of our own: on this project's machines that costs less than mapping them from the page cache,
// and a file cut short under the reader simply reads as ending there.
class LogReader {
public:
    explicit LogReader(std::size_t chunk = std::size_t{256} << 10,
                       std::size_t maxLine = std::size_t{64} << 20, std::size_t padding = 64);

    struct Sink {
        virtual ~Sink() = default;
        // `offset`: where the line starts in the file.
        virtual void line(std::string_view line, std::uint64_t offset) = 0;
    };

    // Reads [start, end) of fd and hands each complete, non-empty line (without its line feed) to
    // the sink, in file order. Returns the offset just past the last line feed read, or nothing if
    // no line feed was found before the end, the file ended early or a read failed first. A file
    // that grows meanwhile is read only up to `end`.
    std::optional<std::uint64_t> read(int fd, std::uint64_t start, std::uint64_t end, Sink& sink);

    template <typename F>
    std::optional<std::uint64_t> read(int fd, std::uint64_t start, std::uint64_t end, F&& onLine) {
        Adapter<F> adapter(onLine);
        return read(fd, start, end, static_cast<Sink&>(adapter));
    }

    // One slice of a range that several threads read at once. Slices cut at the same offsets
    // hand out, between them, exactly the lines one read of the range would, each once: a slice
    // begins with the first line after a line feed at `from - 1` or later (at `from` itself when
    // `first`), and ends with the line whose line feed reaches `stop` or passes it.
    struct Slice {
        std::optional<std::uint64_t> begun;    // where its first line starts
        std::optional<std::uint64_t> consumed; // as read() returns it
    };
    Slice readSlice(int fd, std::uint64_t from, std::uint64_t stop, std::uint64_t end, bool first,
                    Sink& sink);

    template <typename F>
    Slice readSlice(int fd, std::uint64_t from, std::uint64_t stop, std::uint64_t end, bool first,
                    F&& onLine) {
        Adapter<F> adapter(onLine);
        return readSlice(fd, from, stop, end, first, static_cast<Sink&>(adapter));
    }

    // Gives back memory grown for a long line (grown past `keep`, or past a chunk).
    void shrink(std::size_t keep = 0);
    std::size_t capacity() const { return capacity_; }

private:
    template <typename F> struct Adapter final : Sink {
        F& f;
        explicit Adapter(F& fn) : f(fn) {}
        void line(std::string_view l, std::uint64_t offset) override {
            if constexpr (std::is_invocable_v<F&, std::string_view, std::uint64_t>)
                f(l, offset);
            else
                f(l);
        }
    };
    // What one read is after, and how far it got.
    struct Bounds {
        std::uint64_t start, end, stop;
        bool skipFirst; // the bytes up to the first line feed belong to the slice before
    };
    // Room for `needed` bytes, keeping the first `kept`.
    bool ensureCapacity(std::size_t needed, std::size_t kept);
    Slice readAny(int fd, Bounds b, Sink& sink);

    std::size_t chunk_;
    std::size_t maxLine_;
    std::size_t padding_;
    struct Unmap {
        std::size_t bytes = 0;
        void operator()(char* p) const;
    };
    // Mapped, not allocated: a buffer grown for a long line and given back would otherwise raise
    // the allocator's mapping threshold, and leave the process larger than it needs to be.
    std::unique_ptr<char, Unmap> buffer_;
    std::size_t capacity_ = 0; // usable bytes, not counting the padding
};

} // namespace vellumkite
