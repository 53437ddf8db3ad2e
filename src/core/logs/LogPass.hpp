#pragma once

#include "LogDirectory.hpp"
#include "LogPosition.hpp"
#include "TurnParser.hpp"
#include "UniqueFd.hpp"

#include <array>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vellumkite {

// One walk over the log folders that reads each log once, however many readers want it, and
// hands every parsed line to each reader from where that reader stood. Each reader keeps its
// own positions and its own rules (the live store keeps the last days, the history everything);
// the pass knows neither. Not thread-safe: one thread at a time runs it.
class LogPass {
public:
    class Reader {
    public:
        virtual ~Reader() = default;
        // Before the walk.
        virtual void begin() {}
        // Where this reader stands in a listed log, if it is to read it in this pass.
        virtual std::optional<LogPosition> wants(const std::string& path,
                                                 const LogDirectory::Entry& listed) = 0;
        // Once the walk is done: the bytes this pass is about to read for this reader.
        virtual void expect(std::uint64_t bytes) { (void)bytes; }
        // A line at or after where the reader stood, in file order.
        virtual void take(const ParsedLine& line) = 0;
        // The same, when this reader is the last the line goes to: it may take the line over.
        virtual void take(ParsedLine&& line) { take(static_cast<const ParsedLine&>(line)); }
        // After a log was read: where the reader now stands in it.
        virtual void advance(const std::string& path, const LogPosition& position) = 0;
        // After the pass.
        virtual void end() {}
    };
    static constexpr std::size_t kMaxReaders = 4;

    // Reads every log under the given folders as one: a log reached from two of them is read once.
    explicit LogPass(std::vector<std::filesystem::path> roots);
    ~LogPass();
    LogPass(const LogPass&) = delete;
    LogPass& operator=(const LogPass&) = delete;

    const std::vector<std::filesystem::path>& roots() const { return roots_; }

    // Threads used to parse logs in parallel on a pass with much to read (0: one per core), and
    // the size of the slices a long log is cut into for them. The outcome is the same whatever
    // the numbers.
    void setThreads(unsigned threads) { threads_ = threads; }
    void setSliceBytes(std::uint64_t bytes) { sliceBytes_ = bytes ? bytes : kSliceBytes; }
    static constexpr std::uint64_t kSliceBytes = std::uint64_t{16} << 20;

    // The logs a pass opened and the bytes it found to read in them.
    struct Stats {
        std::size_t files = 0;
        std::uint64_t bytes = 0;
    };
    // One pass for these readers (at most kMaxReaders), in this order.
    Stats run(std::initializer_list<Reader*> readers);

private:
    struct File;
    struct Outcome;
    struct Tools;
    struct Piece;
    struct Parsed;
    struct Opened;
    using Readers = std::vector<Reader*>;

    std::vector<File> list(const Readers& readers);
    static std::uint64_t open(const File& f, Outcome& o, UniqueFd& fd, std::uint64_t& end);
    template <typename OnLine> static Outcome read(const File& f, Tools& tools, OnLine&& onLine);
    static void readPiece(const Piece& piece, const File& f, Opened& log, Tools& tools,
                          Parsed& out);
    static void hand(ParsedLine&& line, std::uint64_t at, const Outcome& o, const Readers& readers);
    static void settle(const File& f, const Outcome& o, const Readers& readers);
    std::vector<Piece> cut(const std::vector<File>& files) const;
    void readInParallel(const std::vector<File>& files, const std::vector<Piece>& pieces,
                        const Readers& readers, unsigned threads);

    std::vector<std::filesystem::path> roots_;
    std::vector<std::unique_ptr<LogDirectory>> directories_;
    std::unique_ptr<Tools> tools_;
    unsigned threads_ = 0;
    std::uint64_t sliceBytes_ = kSliceBytes;
};

} // namespace vellumkite
