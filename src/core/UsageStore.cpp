#include "UsageStore.hpp"

#include "History.hpp"
#include "LogReader.hpp"
#include "Saturating.hpp"
#include "TurnParser.hpp"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <mutex>
#include <simdjson.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <unordered_set>

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

// Opens a log without ever blocking (a FIFO with no writer) and only if it is a regular file
// now, since it may have been swapped since the walk saw it.
int openRegular(const std::string& path, struct stat& st) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// A fingerprint of a log's first bytes and of the bytes just before an offset, to tell whether
// the bytes up to the offset are still the ones that were read; 0 when they cannot be read.
std::uint64_t fingerprint(int fd, std::uint64_t offset) {
    char head[256], tail[64];
    const auto headSize = static_cast<std::size_t>(std::min<std::uint64_t>(offset, sizeof head));
    const auto tailSize = static_cast<std::size_t>(std::min<std::uint64_t>(offset, sizeof tail));
    if (headSize == 0 || ::pread(fd, head, headSize, 0) != static_cast<ssize_t>(headSize) ||
        ::pread(fd, tail, tailSize, static_cast<off_t>(offset - tailSize)) !=
            static_cast<ssize_t>(tailSize))
        return 0;
    std::uint64_t h = 1469598103934665603ULL; // FNV-1a
    for (std::size_t i = 0; i < headSize; ++i)
        h = (h ^ static_cast<unsigned char>(head[i])) * 1099511628211ULL;
    for (std::size_t i = 0; i < tailSize; ++i)
        h = (h ^ static_cast<unsigned char>(tail[i])) * 1099511628211ULL;
    return h;
}

// Where reading an open log starts: the stored offset, unless those bytes were consumed from
// another file. A log that was replaced (another inode), shrank, or was rewritten in place (the
// byte before the offset is no longer a line feed, or its first bytes or those before the offset
// changed) is read again from its first byte: reading on from a stale offset would lose the new
// file's first lines.
std::uint64_t startFor(int fd, const struct stat& st, const LogPosition& at) {
    if (at.offset == 0)
        return 0;
    if (static_cast<std::uint64_t>(st.st_dev) != at.device ||
        static_cast<std::uint64_t>(st.st_ino) != at.inode)
        return 0;
    if (static_cast<std::uint64_t>(st.st_size) < at.offset)
        return 0;
    char before = 0;
    if (::pread(fd, &before, 1, static_cast<off_t>(at.offset - 1)) != 1 || before != '\n')
        return 0;
    if (fingerprint(fd, at.offset) != at.print)
        return 0;
    return at.offset;
}

// Whether a reader at this position has nothing new to read in the listed log: in this process
// the listing's stamp tells; a position carried over from another run has no stamp, and goes by
// the file's identity, size and modification time.
bool upToDate(const LogDirectory::Entry& e, const LogPosition& at) {
    if (e.size != at.offset)
        return false;
    if (at.stamp != 0)
        return e.stamp == at.stamp;
    return e.size == at.size && e.modified == at.modified && e.device == at.device &&
           e.inode == at.inode;
}

// For the history: a log it read in this process and that has not changed since has nothing new
// for it, even when a line at its end is still incomplete; without this, an unfinished last line
// would keep a log in the import's backlog for ever.
bool readSinceChange(const LogDirectory::Entry& e, const LogPosition& at) {
    return at.stamp != 0 ? e.stamp == at.stamp : upToDate(e, at);
}

constexpr std::uint64_t kNotReading = std::numeric_limits<std::uint64_t>::max();

} // namespace

// One log to read in a pass, and for whom: the store (inside the window), the history, or both.
struct UsageStore::FileEntry {
    std::string path;
    LogDirectory::Entry listed;
    bool forStore = false;
    bool forHistory = false;
    LogPosition store, history; // where each reader stood before the pass
};

// What reading one log gave: where each reader began after the identity and fingerprint checks
// (kNotReading for a reader it was not read for), and the offset after the last line feed read.
struct UsageStore::ReadOutcome {
    bool opened = false;
    std::uint64_t device = 0, inode = 0;
    std::uint64_t storeFrom = kNotReading, historyFrom = kNotReading;
    std::optional<std::uint64_t> consumed;
    std::uint64_t print = 0; // of the bytes up to `consumed`
};

struct UsageStore::Tools {
    TurnParser::Buffers parser;
    LogReader reader;
    Tools() = default;
    explicit Tools(std::size_t chunk) : reader(chunk) {}
};

UsageStore::UsageStore(std::vector<std::filesystem::path> roots, double lookback, Clock clock)
    : roots_(std::move(roots)), lookback_(lookback), clock_(std::move(clock)),
      tools_(std::make_unique<Tools>()) {
    for (const auto& root : roots_)
        directories_.push_back(std::make_unique<LogDirectory>(root));
}

UsageStore::UsageStore(std::filesystem::path root, double lookback, Clock clock)
    : UsageStore(std::vector{std::move(root)}, lookback, std::move(clock)) {}

UsageStore::~UsageStore() = default;

void UsageStore::setHistory(History* history, std::uint64_t importBytesPerPass) {
    history_ = history;
    importBytesPerPass_ = importBytesPerPass;
}

bool UsageStore::refresh() {
    const Instant cutoff = addSeconds(clock_(), -lookback_);
    const auto files = chatFiles(cutoff);

    std::uint64_t pending = 0;
    for (const auto& f : files) {
        const std::uint64_t at = std::min(f.forStore ? f.store.offset : kNotReading,
                                          f.forHistory ? f.history.offset : kNotReading);
        pending += f.listed.size > at ? f.listed.size - at : f.listed.size;
    }
    unsigned threads = parseThreads_ ? parseThreads_ : std::thread::hardware_concurrency();
    threads = std::clamp(threads, 1u, 8u);

    // A big first pass: make room at once rather than rehash the maps as they grow. A reply
    // and its results take a few kilobytes of log at the least.
    if (turns_.empty() && pending >= kParallelThreshold) {
        const auto expected = static_cast<std::size_t>(pending / 8192);
        turns_.reserve(expected);
        results_.reserve(expected);
        toolNames_.reserve(expected);
    }
    bool took = false;
    if (threads > 1 && files.size() > 1 && pending >= kParallelThreshold) {
        took = readInParallel(files, cutoff, threads);
    } else {
        for (const auto& f : files) {
            const auto outcome = readStep(
                f, *tools_, [&](ParsedLine&& line, std::uint64_t at, const ReadOutcome& o) {
                    took |= fileLine(std::move(line), at, o, cutoff);
                });
            settle(f, outcome);
        }
    }
    lastPass_ = {files.size(), pending};
    prune(cutoff);
    tools_->reader.shrink();
    if (tools_->parser.capacity() > kParserKeep)
        tools_->parser.release();
    firstPass_ = false;
    return took;
}

std::vector<UsageStore::FileEntry> UsageStore::chatFiles(Instant cutoff) {
    std::vector<FileEntry> out;
    // Older logs are read for the history alone, a slice a pass and, where there are live
    // figures, only from the second pass on: those come first.
    std::uint64_t budget = firstPass_ && lookback_ > 0 ? 0 : importBytesPerPass_;
    backlog_ = {};
    // A log reached from two folders (one inside the other, or a link) is read once.
    std::unordered_set<std::pair<std::uint64_t, std::uint64_t>, FileIdHash> seen;
    for (const auto& directory : directories_) {
        for (const auto& [path, entry] : directory->list()) {
            const bool inWindow = entry.modified >= cutoff;
            if (!inWindow && !history_)
                continue;
            if (directories_.size() > 1 && !seen.insert({entry.device, entry.inode}).second)
                continue;
            FileEntry f;
            f.path = path;
            f.listed = entry;
            if (inWindow) {
                if (const auto it = offsets_.find(path); it != offsets_.end())
                    f.store = it->second;
                f.forStore = !upToDate(entry, f.store);
            }
            if (history_) {
                f.history = history_->position(path);
                f.forHistory = !readSinceChange(entry, f.history);
                if (f.forHistory && !inWindow) {
                    const std::uint64_t left =
                        entry.size > f.history.offset ? entry.size - f.history.offset : entry.size;
                    if (budget == 0) {
                        // This pass's slice is full; a later one takes it.
                        f.forHistory = false;
                        ++backlog_.files;
                        backlog_.bytes += left;
                    } else {
                        budget -= std::min(budget, left);
                    }
                }
            }
            if (f.forStore || f.forHistory)
                out.push_back(std::move(f));
        }
    }
    return out;
}

template <typename OnLine>
UsageStore::ReadOutcome UsageStore::readStep(const FileEntry& f, Tools& tools, OnLine&& onLine) {
    ReadOutcome o;
    struct stat st;
    const int fd = openRegular(f.path, st);
    if (fd < 0)
        return o;
    o.opened = true;
    o.device = static_cast<std::uint64_t>(st.st_dev);
    o.inode = static_cast<std::uint64_t>(st.st_ino);
    if (f.forStore)
        o.storeFrom = startFor(fd, st, f.store);
    if (f.forHistory)
        o.historyFrom = startFor(fd, st, f.history);
    // Read only up to the size taken now, so that a file that keeps growing cannot stall a pass.
    const auto end = static_cast<std::uint64_t>(st.st_size);
    o.consumed =
        tools.reader.read(fd, std::min(o.storeFrom, o.historyFrom), end,
                          [&](std::string_view line, std::uint64_t at) {
                              if (auto parsed = TurnParser::parsePadded(tools.parser, line))
                                  onLine(std::move(*parsed), at, o);
                          });
    if (o.consumed)
        o.print = fingerprint(fd, *o.consumed);
    ::close(fd);
    return o;
}

bool UsageStore::fileLine(ParsedLine&& line, std::uint64_t at, const ReadOutcome& o,
                          Instant cutoff) {
    // Each reader takes the lines from where it stood: the other may be behind.
    if (history_ && at >= o.historyFrom)
        history_->take(line);
    return at >= o.storeFrom && file(std::move(line), cutoff);
}

void UsageStore::settle(const FileEntry& f, const ReadOutcome& o) {
    if (!o.opened)
        return;
    const auto after = [&](std::uint64_t from, const LogPosition& before) {
        LogPosition p{from,           o.device,      o.inode,          from ? before.print : 0,
                      f.listed.stamp, f.listed.size, f.listed.modified};
        if (o.consumed && *o.consumed >= from) {
            p.offset = *o.consumed;
            p.print = o.print;
        }
        return p;
    };
    if (o.storeFrom != kNotReading)
        offsets_[f.path] = after(o.storeFrom, f.store);
    if (history_ && o.historyFrom != kNotReading)
        history_->advance(f.path, after(o.historyFrom, f.history));
}

template <typename Line> bool UsageStore::file(Line&& parsed, Instant cutoff) {
    if (auto* reply = std::get_if<TurnLine>(&parsed)) {
        for (auto& call : reply->toolIds)
            toolNames_.insert_or_assign(std::move(call.id), std::move(call.name));
        filedCalls_ = filedCalls_ || !reply->toolIds.empty();
        Turn& turn = reply->turn;
        if (turn.time < cutoff)
            return false;
        auto [it, inserted] = turns_.try_emplace(turn.key);
        if (inserted) {
            it->second = std::move(turn);
            turnIndex_.add(&it->second);
            if (sessionTurnsValid_) {
                auto& chat = sessionTurns_[it->second.sessionId];
                chat.insert(std::upper_bound(chat.begin(), chat.end(), &it->second, TurnOrder{}),
                            &it->second);
            }
        } else {
            it->second.absorb(std::move(turn));
        }
        return true;
    }
    auto& batch = std::get<ResultsLine>(parsed);
    if (batch.time < cutoff)
        return false;
    filedResults_ = true;
    for (auto& r : batch.results) {
        const auto name = toolNames_.find(r.toolId);
        std::string tool = name != toolNames_.end() ? name->second : std::string("?");
        if (name == toolNames_.end()) {
            // The call was filed with an earlier copy of this result and its name let go: a
            // result read again keeps the name it had.
            if (const auto filed = results_.find(r.toolId); filed != results_.end())
                tool = filed->second.tool;
        }
        ToolResult result{batch.sessionId, batch.time, std::move(tool), r.tokens};
        auto [it, inserted] = results_.insert_or_assign(std::move(r.toolId), std::move(result));
        if (inserted)
            resultIndex_.add(&*it);
        else
            resultIndex_.invalidate(); // a replaced result may have moved in time
    }
    return true;
}

struct UsageStore::Batch {
    std::vector<std::pair<ParsedLine, std::uint64_t>> lines; // with the offset each starts at
    ReadOutcome outcome;
    bool ready = false;
};

bool UsageStore::readInParallel(const std::vector<FileEntry>& files, Instant cutoff,
                                unsigned threads) {
    // Files are read and parsed on several threads; the filing stays here, in list order, so the
    // outcome is the same as reading one file after the other. While the next file to file is
    // not parsed yet, this thread parses one itself rather than wait.
    std::vector<Batch> batches(files.size());
    std::atomic<std::size_t> next{0};
    std::mutex mutex;
    std::condition_variable ready;

    auto parseOne = [&](std::size_t i, Tools& tools) {
        Batch local;
        local.outcome =
            readStep(files[i], tools, [&](ParsedLine&& line, std::uint64_t at, const ReadOutcome&) {
                local.lines.emplace_back(std::move(line), at);
            });
        tools.reader.shrink();
        std::lock_guard lock(mutex);
        local.ready = true;
        batches[i] = std::move(local);
        ready.notify_all();
    };
    std::vector<std::thread> pool;
    pool.reserve(threads - 1);
    for (unsigned t = 1; t < threads; ++t)
        pool.emplace_back([&] {
            Tools tools(std::size_t{1} << 20);
            for (std::size_t i; (i = next.fetch_add(1)) < files.size();)
                parseOne(i, tools);
        });

    Tools mine(std::size_t{1} << 20);
    bool took = false;
    for (std::size_t i = 0; i < files.size(); ++i) {
        Batch batch;
        for (;;) {
            {
                std::unique_lock lock(mutex);
                if (batches[i].ready || next.load() >= files.size()) {
                    ready.wait(lock, [&] { return batches[i].ready; });
                    batch = std::move(batches[i]);
                    break;
                }
            }
            if (const std::size_t j = next.fetch_add(1); j < files.size())
                parseOne(j, mine);
        }
        for (auto& [parsed, at] : batch.lines)
            took |= fileLine(std::move(parsed), at, batch.outcome, cutoff);
        settle(files[i], batch.outcome);
    }
    for (auto& t : pool)
        t.join();
    return took;
}

void UsageStore::prune(Instant cutoff) {
    // Records leave the window oldest first, so they are a prefix of the time-ordered views.
    const auto& turnsInOrder = byTime();
    std::size_t oldTurns = 0;
    while (oldTurns < turnsInOrder.size() && turnsInOrder[oldTurns]->time < cutoff)
        ++oldTurns;
    for (std::size_t i = 0; i < oldTurns; ++i) {
        const Turn* t = turnsInOrder[i];
        if (sessionTurnsValid_) {
            const auto s = sessionTurns_.find(t->sessionId);
            auto& chat = s->second;
            chat.erase(std::lower_bound(chat.begin(), chat.end(), t, TurnOrder{}));
            if (chat.empty())
                sessionTurns_.erase(s);
        }
        turns_.erase(std::string(t->key));
    }
    turnIndex_.dropFront(oldTurns);

    const auto& resultsInOrder = resultsByTime();
    std::size_t oldResults = 0;
    while (oldResults < resultsInOrder.size() && resultsInOrder[oldResults]->second.time < cutoff)
        ++oldResults;
    for (std::size_t i = 0; i < oldResults; ++i)
        results_.erase(std::string(resultsInOrder[i]->first));
    resultIndex_.dropFront(oldResults);

    // Only filing can put an id in both maps; skip the walk when nothing was filed.
    if (filedResults_ || filedCalls_)
        std::erase_if(toolNames_, [&](const auto& kv) { return results_.contains(kv.first); });
    filedResults_ = filedCalls_ = false;
}

bool UsageStore::hasToolName(std::string_view callId) const {
    return toolNames_.contains(std::string(callId));
}

std::optional<std::uint64_t> UsageStore::offset(const std::filesystem::path& file) const {
    const auto it = offsets_.find(file.string());
    if (it == offsets_.end())
        return std::nullopt;
    return it->second.offset;
}

} // namespace vellumkite
