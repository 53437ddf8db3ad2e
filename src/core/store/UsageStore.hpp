#pragma once

#include "ChatSummary.hpp"
#include "LogDirectory.hpp"
#include "LogPosition.hpp"
#include "Time.hpp"
#include "TimeIndex.hpp"
#include "ToolEater.hpp"
#include "Turn.hpp"
#include "TurnParser.hpp"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vellumkite {

class History;

// Keeps, in memory, the records of the chat logs over a sliding look-back window, and brings them
// up to date on demand by reading only the complete lines appended since the previous pass.
// Not thread-safe: one thread at a time (the app's store thread) calls everything.
class UsageStore {
public:
    // Reads every log under the given folders as one (a reply found in two counts once).
    // `lookback` in seconds; records older than now - lookback are not kept.
    UsageStore(std::vector<std::filesystem::path> roots, double lookback,
               Clock clock = systemClock());
    UsageStore(std::filesystem::path root, double lookback, Clock clock = systemClock());
    ~UsageStore();
    UsageStore(const UsageStore&) = delete;
    UsageStore& operator=(const UsageStore&) = delete;

    const std::vector<std::filesystem::path>& roots() const { return roots_; }
    double lookback() const { return lookback_; }
    const std::unordered_map<std::string, Turn>& turns() const { return turns_; }
    const std::unordered_map<std::string, ToolResult>& results() const { return results_; }

    // One ingestion pass: list, read, file, prune. True when at least one reply or tool result
    // inside the window was taken in.
    bool refresh();

    // Hands every line read to the history too, which keeps its own read positions, and reads
    // the logs older than the window for it alone: up to about `importBytesPerPass` a pass,
    // from the second pass on, so that the live figures come first. Writing the history after
    // a pass is its owner's part. Not owned; nullptr detaches it.
    void setHistory(History* history, std::uint64_t importBytesPerPass);
    // What the history still has to read of the logs older than the window.
    struct Backlog {
        std::size_t files = 0;
        std::uint64_t bytes = 0;
    };
    Backlog historyBacklog() const { return backlog_; }
    // The logs the last pass opened and the bytes it found to read in them.
    struct PassStats {
        std::size_t files = 0;
        std::uint64_t bytes = 0;
    };
    PassStats lastPass() const { return lastPass_; }

    // Threads used to parse files in parallel on a pass with much to read (0: one per core).
    // The outcome is the same whatever the number.
    void setParseThreads(unsigned threads) { parseThreads_ = threads; }

    // --- Aggregates. Each reads the maps as they stand; none changes the store.

    // Turns at or after `since`, oldest first; equal times ordered by key.
    std::vector<Turn> turns(Instant since) const;
    // One summary per chat with a turn at or after `since`, heaviest first; equal weights ordered
    // by session id.
    std::vector<ChatSummary> chats(Instant since) const;
    // The chat of the most recent turn (equal times: the greatest key), over all held turns.
    std::optional<ChatSummary> currentChat() const;
    // One entry per tool category with a result at or after `since`, heaviest first; equal
    // weights ordered by category.
    std::vector<ToolEater> toolEaters(Instant since) const;
    // Weight per minute over the last `minutes` minutes, counted back from the clock.
    double burnRate(double minutes) const;
    // The sum of weight over the turns at or after `since`, added in time order.
    double weightSince(Instant since) const;

    // For tests of the store's invariants.
    bool hasToolName(std::string_view callId) const;
    std::size_t toolNameCount() const { return toolNames_.size(); }
    std::optional<std::uint64_t> offset(const std::filesystem::path& file) const;

private:
    struct FileEntry;
    struct Tools; // a parser and a read buffer, reused across passes
    struct ReadOutcome;
    struct Batch;

    std::vector<FileEntry> chatFiles(Instant cutoff);
    template <typename OnLine>
    static ReadOutcome readStep(const FileEntry& f, Tools& tools, OnLine&& onLine);
    bool fileLine(ParsedLine&& line, std::uint64_t at, const ReadOutcome& o, Instant cutoff);
    void settle(const FileEntry& f, const ReadOutcome& o);
    bool readInParallel(const std::vector<FileEntry>& files, Instant cutoff, unsigned threads);
    void prune(Instant cutoff);
    template <typename Line> bool file(Line&& line, Instant cutoff);

    using ResultEntry = std::pair<const std::string, ToolResult>;
    struct TurnOrder {
        bool operator()(const Turn* a, const Turn* b) const {
            return a->time != b->time ? a->time < b->time : a->key < b->key;
        }
    };
    struct ResultOrder {
        bool operator()(const ResultEntry* a, const ResultEntry* b) const {
            return a->second.time != b->second.time ? a->second.time < b->second.time
                                                    : a->first < b->first;
        }
    };
    struct StringHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const {
            return std::hash<std::string_view>{}(s);
        }
    };
    using SessionTurns =
        std::unordered_map<std::string, std::vector<const Turn*>, StringHash, std::equal_to<>>;

    // Views over the held records in time order, kept up to date as records come and go.
    const std::vector<const Turn*>& byTime() const;
    const std::vector<const ResultEntry*>& resultsByTime() const;
    // Each chat's turns in time order.
    const SessionTurns& sessionTurns() const;
    template <typename F> void forEachTurnSince(Instant since, F&& f) const;
    ChatSummary summarize(std::string_view sessionId, Instant since) const;

    std::vector<std::filesystem::path> roots_;
    double lookback_;
    Clock clock_;
    unsigned parseThreads_ = 0;

    std::unordered_map<std::string, Turn> turns_;
    std::unordered_map<std::string, ToolResult> results_;
    std::unordered_map<std::string, std::string> toolNames_;
    // Per log: how far the store has read it.
    std::unordered_map<std::string, LogPosition> offsets_;

    std::vector<std::unique_ptr<LogDirectory>> directories_;

    std::unique_ptr<Tools> tools_;

    History* history_ = nullptr;
    std::uint64_t importBytesPerPass_ = 0;
    bool firstPass_ = true;
    Backlog backlog_;
    PassStats lastPass_;

    bool filedResults_ = false;
    bool filedCalls_ = false;

    mutable TimeIndex<Turn, TurnOrder> turnIndex_;
    mutable TimeIndex<ResultEntry, ResultOrder> resultIndex_;
    mutable bool sessionTurnsValid_ = false;
    mutable SessionTurns sessionTurns_;
};

} // namespace vellumkite
