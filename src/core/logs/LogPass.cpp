#include "LogPass.hpp"

#include "LogReader.hpp"
#include "UniqueFd.hpp"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <fcntl.h>
#include <limits>
#include <mutex>
#include <thread>
#include <unordered_set>
#include <utility>

namespace vellumkite {

namespace {

struct FileIdHash {
    std::size_t operator()(const std::pair<std::uint64_t, std::uint64_t>& id) const {
        return std::hash<std::uint64_t>{}(id.first * 0x9e3779b97f4a7c15ULL ^ id.second);
    }
};

// Parsing in parallel pays off only when a pass has this much to read.
constexpr std::uint64_t kParallelThreshold = std::uint64_t{8} << 20;
// A parser that grew past this for one long line is replaced after the pass.
constexpr std::size_t kParserKeep = std::size_t{16} << 20;
// A reading thread's buffer that grew past this for one long line is given back after the piece
// that held it; below it, keeping the buffer costs less than mapping it afresh.
constexpr std::size_t kReaderKeep = std::size_t{4} << 20;

constexpr std::uint64_t kNotReading = std::numeric_limits<std::uint64_t>::max();

// Opens a log without ever blocking (a FIFO with no writer) and only if it is a regular file
// now, since it may have been swapped since the walk saw it.
UniqueFd openRegular(const std::string& path, struct stat& st) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd && (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)))
        fd.reset();
    return fd;
}

} // namespace

// One log to read in a pass, and where each reader stood in it (none: not read for that one).
struct LogPass::File {
    std::string path;
    LogDirectory::Entry listed;
    std::array<std::optional<LogPosition>, kMaxReaders> at;
};

// What reading one log gave: where each reader began after the identity and fingerprint checks
// (kNotReading for a reader it was not read for), and the offset after the last line feed read.
struct LogPass::Outcome {
    bool opened = false;
    std::uint64_t device = 0, inode = 0;
    std::array<std::uint64_t, kMaxReaders> from;
    std::optional<std::uint64_t> consumed;
    std::uint64_t print = 0; // of the bytes up to `consumed`
    Outcome() { from.fill(kNotReading); }
};

// A parser and a read buffer, reused across passes.
struct LogPass::Tools {
    TurnParser::Buffers parser;
    LogReader reader;
};

// A piece of a parallel pass: a whole log, or one slice of a long one. Slices are cut at
// offsets taken from the listing; each hands out the lines that begin in it (see
// LogReader::readSlice), so that together they hand out what one read of the log would.
struct LogPass::Piece {
    std::size_t file;
    std::uint64_t from; // the first slice: from where the readers begin
    std::uint64_t stop; // kNotReading: to the end
    bool first, last;
};

// What a piece gave: its lines, with the offset each starts at, and how far it read.
struct LogPass::Parsed {
    std::vector<std::pair<ParsedLine, std::uint64_t>> lines;
    LogReader::Slice read;
    std::uint64_t print = 0; // of the bytes up to read.consumed
    bool ready = false;
};

// A log of a parallel pass, opened once for all its slices by the first to come.
struct LogPass::Opened {
    std::once_flag once;
    UniqueFd fd;
    Outcome outcome;
    std::uint64_t start = kNotReading, end = 0;
    std::atomic<std::size_t> left{0}; // pieces still to read; the last one closes it
};

LogPass::LogPass(std::vector<std::filesystem::path> roots)
    : roots_(std::move(roots)), tools_(std::make_unique<Tools>()) {
    for (const auto& root : roots_)
        directories_.push_back(std::make_unique<LogDirectory>(root));
}

LogPass::~LogPass() = default;

LogPass::Stats LogPass::run(std::initializer_list<Reader*> list) {
    const Readers readers(list.begin(), std::min(list.end(), list.begin() + kMaxReaders));
    for (Reader* r : readers)
        r->begin();
    const auto files = this->list(readers);

    Stats stats{files.size(), 0};
    std::array<std::uint64_t, kMaxReaders> expected{};
    for (const auto& f : files) {
        std::uint64_t from = kNotReading;
        for (std::size_t r = 0; r < readers.size(); ++r)
            if (f.at[r]) {
                from = std::min(from, f.at[r]->offset);
                const std::uint64_t left = f.listed.size > f.at[r]->offset
                                               ? f.listed.size - f.at[r]->offset
                                               : f.listed.size;
                expected[r] += left;
            }
        stats.bytes += f.listed.size > from ? f.listed.size - from : f.listed.size;
    }
    for (std::size_t r = 0; r < readers.size(); ++r)
        readers[r]->expect(expected[r]);

    unsigned threads = threads_ ? threads_ : std::thread::hardware_concurrency();
    threads = std::clamp(threads, 1u, 8u);
    std::vector<Piece> pieces;
    if (threads > 1 && stats.bytes >= kParallelThreshold)
        pieces = cut(files);
    if (pieces.size() > 1) {
        readInParallel(files, pieces, readers, threads);
    } else {
        for (const auto& f : files) {
            const auto outcome =
                read(f, *tools_, [&](ParsedLine&& line, std::uint64_t at, const Outcome& o) {
                    hand(std::move(line), at, o, readers);
                });
            settle(f, outcome, readers);
        }
    }
    tools_->reader.shrink();
    if (tools_->parser.capacity() > kParserKeep)
        tools_->parser.release();
    for (Reader* r : readers)
        r->end();
    return stats;
}

std::vector<LogPass::File> LogPass::list(const Readers& readers) {
    std::vector<File> out;
    // A log reached from two folders (one inside the other, or a link) is read once.
    std::unordered_set<std::pair<std::uint64_t, std::uint64_t>, FileIdHash> seen;
    for (const auto& directory : directories_) {
        for (const auto& [path, entry] : directory->list()) {
            if (directories_.size() > 1 && !seen.insert({entry.device, entry.inode}).second)
                continue;
            File f;
            bool wanted = false;
            for (std::size_t r = 0; r < readers.size(); ++r) {
                f.at[r] = readers[r]->wants(path, entry);
                wanted = wanted || f.at[r];
            }
            if (!wanted)
                continue;
            f.path = path;
            f.listed = entry;
            out.push_back(std::move(f));
        }
    }
    return out;
}

// Opens a log for a pass and finds where each reader begins in it; the lowest of those, or
// kNotReading when it could not be opened. `end`: its size now.
std::uint64_t LogPass::open(const File& f, Outcome& o, UniqueFd& fd, std::uint64_t& end) {
    struct stat st;
    fd = openRegular(f.path, st);
    if (!fd)
        return kNotReading;
    o.opened = true;
    o.device = static_cast<std::uint64_t>(st.st_dev);
    o.inode = static_cast<std::uint64_t>(st.st_ino);
    std::uint64_t start = kNotReading;
    for (std::size_t r = 0; r < kMaxReaders; ++r)
        if (f.at[r]) {
            o.from[r] = f.at[r]->startIn(fd.get(), st);
            start = std::min(start, o.from[r]);
        }
    // Read only up to the size taken now, so that a file that keeps growing cannot stall a pass.
    end = static_cast<std::uint64_t>(st.st_size);
    return start;
}

template <typename OnLine>
LogPass::Outcome LogPass::read(const File& f, Tools& tools, OnLine&& onLine) {
    Outcome o;
    UniqueFd fd;
    std::uint64_t end = 0;
    const std::uint64_t start = open(f, o, fd, end);
    if (!fd)
        return o;
    o.consumed =
        tools.reader.read(fd.get(), start, end, [&](std::string_view line, std::uint64_t at) {
            if (auto parsed = TurnParser::parsePadded(tools.parser, line))
                onLine(std::move(*parsed), at, o);
        });
    if (o.consumed)
        o.print = LogPosition::fingerprint(fd.get(), *o.consumed);
    return o;
}

void LogPass::hand(ParsedLine&& line, std::uint64_t at, const Outcome& o, const Readers& readers) {
    // Each reader takes the lines from where it stood: another may be behind. The last one the
    // line goes to may take it over.
    std::size_t last = readers.size();
    for (std::size_t r = 0; r < readers.size(); ++r)
        if (at >= o.from[r])
            last = r;
    for (std::size_t r = 0; r < last; ++r)
        if (at >= o.from[r])
            readers[r]->take(std::as_const(line));
    if (last < readers.size())
        readers[last]->take(std::move(line));
}

void LogPass::settle(const File& f, const Outcome& o, const Readers& readers) {
    if (!o.opened)
        return;
    for (std::size_t r = 0; r < readers.size(); ++r) {
        if (o.from[r] == kNotReading)
            continue;
        const std::uint64_t from = o.from[r];
        LogPosition p{from,           o.device,      o.inode,          from ? f.at[r]->print : 0,
                      f.listed.stamp, f.listed.size, f.listed.modified};
        if (o.consumed && *o.consumed >= from) {
            p.offset = *o.consumed;
            p.print = o.print;
        }
        readers[r]->advance(f.path, p);
    }
}

std::vector<LogPass::Piece> LogPass::cut(const std::vector<File>& files) const {
    std::vector<Piece> pieces;
    pieces.reserve(files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        const File& f = files[i];
        std::uint64_t from = kNotReading;
        for (const auto& at : f.at)
            if (at)
                from = std::min(from, at->offset);
        const std::uint64_t size = f.listed.size > from ? f.listed.size - from : 0;
        const std::uint64_t slices = std::max<std::uint64_t>(1, size / sliceBytes_);
        for (std::uint64_t k = 0; k < slices; ++k)
            pieces.push_back({i, k == 0 ? 0 : from + k * sliceBytes_,
                              k + 1 < slices ? from + (k + 1) * sliceBytes_ : kNotReading, k == 0,
                              k + 1 == slices});
    }
    return pieces;
}

void LogPass::readPiece(const Piece& piece, const File& f, Opened& log, Tools& tools, Parsed& out) {
    std::call_once(log.once, [&] { log.start = open(f, log.outcome, log.fd, log.end); });
    if (log.fd) {
        // Readers begin no further on than listed, so only the first slice holds their starts.
        const std::uint64_t from = piece.first ? log.start : piece.from;
        out.read = tools.reader.readSlice(log.fd.get(), from, piece.stop, log.end, piece.first,
                                          [&](std::string_view line, std::uint64_t at) {
                                              if (auto parsed =
                                                      TurnParser::parsePadded(tools.parser, line))
                                                  out.lines.emplace_back(std::move(*parsed), at);
                                          });
        if (out.read.consumed)
            out.print = LogPosition::fingerprint(log.fd.get(), *out.read.consumed);
    }
    if (log.left.fetch_sub(1) == 1)
        log.fd.reset();
}

void LogPass::readInParallel(const std::vector<File>& files, const std::vector<Piece>& pieces,
                             const Readers& readers, unsigned threads) {
    // Pieces are read and parsed on several threads; handing the lines out stays here, in
    // order, so the outcome is the same as reading one log after the other. The threads read at
    // most `ahead` pieces past the one being handed out, which bounds the memory held by lines
    // waiting their turn. While the next piece is not parsed yet, this thread parses one itself.
    const std::size_t ahead = 4 * std::size_t{threads};
    std::vector<Parsed> parsed(pieces.size());
    std::vector<Opened> logs(files.size());
    for (const auto& piece : pieces)
        logs[piece.file].left.fetch_add(1, std::memory_order_relaxed);
    std::size_t next = 0;   // the next piece to claim
    std::size_t handed = 0; // pieces handed out
    std::mutex mutex;
    std::condition_variable ready, room;

    const auto parse = [&](std::size_t i, Tools& tools) {
        readPiece(pieces[i], files[pieces[i].file], logs[pieces[i].file], tools, parsed[i]);
        tools.reader.shrink(kReaderKeep);
        std::lock_guard lock(mutex);
        parsed[i].ready = true;
        ready.notify_all();
    };
    std::vector<std::thread> pool;
    pool.reserve(threads - 1);
    for (unsigned t = 1; t < threads; ++t)
        pool.emplace_back([&] {
            Tools tools;
            for (;;) {
                std::size_t i;
                {
                    std::unique_lock lock(mutex);
                    room.wait(lock, [&] { return next >= pieces.size() || next < handed + ahead; });
                    if (next >= pieces.size())
                        return;
                    i = next++;
                }
                parse(i, tools);
            }
        });

    Tools mine;
    Outcome outcome;   // of the log being handed out
    bool whole = true; // its slices so far joined up
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        for (std::unique_lock lock(mutex); !parsed[i].ready;) {
            if (next < pieces.size() && next < i + ahead) {
                const std::size_t j = next++;
                lock.unlock();
                parse(j, mine);
                lock.lock();
            } else {
                ready.wait(lock, [&] { return parsed[i].ready; });
            }
        }
        const Piece& piece = pieces[i];
        Parsed batch = std::move(parsed[i]);
        if (piece.first) {
            outcome = logs[piece.file].outcome;
            whole = true;
        }
        // A slice that does not begin where the one before ended (the log changed or could not
        // be read on) ends the log there, as one read would have.
        if (!piece.first)
            whole = whole && batch.read.begun && outcome.consumed == batch.read.begun;
        if (whole) {
            for (auto& [line, at] : batch.lines)
                hand(std::move(line), at, outcome, readers);
            if (batch.read.consumed) {
                outcome.consumed = batch.read.consumed;
                outcome.print = batch.print;
            }
        }
        if (piece.last)
            settle(files[piece.file], outcome, readers);
        {
            std::lock_guard lock(mutex);
            handed = i + 1;
        }
        room.notify_all();
    }
    for (auto& t : pool)
        t.join();
}

} // namespace vellumkite
