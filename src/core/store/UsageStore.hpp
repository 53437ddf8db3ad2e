#pragma once

#include "ChatSummary.hpp"
#include "LogDirectory.hpp"
#include "LogPass.hpp"
#include "LogPosition.hpp"
#include "Time.hpp"
#include "TimeIndex.hpp"
#include "ToolCalls.hpp"
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

// Keeps, in memory, the records of the chat logs over a sliding look-back window, and brings them
// up to date on demand by reading only the complete lines appended since the previous pass.
// Not thread-safe: one thread at a time (the app's store thread) calls everything.
class UsageStore {
public:
    // Fed by a pass that the owner runs (see reader()).
    UsageStore(double lookback, Clock clock = systemClock());
    // Reads the logs under the given folders itself, as one (a reply found in two counts once),
    // on each refresh(). `lookback` in seconds; records older than now - lookback are not kept.
    UsageStore(std::vector<std::filesystem::path> roots, double lookback,
               Clock clock = systemClock());
    UsageStore(std::filesystem::path root, double lookback, Clock clock = systemClock());
    ~UsageStore();
    UsageStore(const UsageStore&) = delete;
    UsageStore& operator=(const UsageStore&) = delete;

    double lookback() const { return lookback_; }
    // By key; each key views the key of its own turn.
    using Turns = std::unordered_map<std::string_view, Turn>;
    const Turns& turns() const { return turns_; }
    const std::unordered_map<std::string, ToolResult>& results() const { return results_; }

    // The store as one of a log pass's readers: it reads the logs changed inside its window,
    // files what falls inside it, and prunes what aged out when the pass ends.
    LogPass::Reader& reader();
    // Whether the last pass took in at least one reply or tool result inside the window.
    bool tookLastPass() const { return took_; }

    // One pass of its own over its folders (nothing but pruning for a store fed by another
    // pass). True when at least one reply or tool result inside the window was taken in.
    bool refresh();
    // What the last refresh() read.
    LogPass::Stats lastPass() const { return lastPass_; }
    // Threads for refresh()'s own pass (0: one per core).
    void setParseThreads(unsigned threads);

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
    bool hasToolName(std::string_view callId) const { return calls_.waiting(callId); }
    std::size_t toolNameCount() const { return calls_.size(); }
    std::optional<std::uint64_t> offset(const std::filesystem::path& file) const;

private:
    class Feed;

    void begin();
    std::optional<LogPosition> wants(const std::string& path, const LogDirectory::Entry& listed);
    void expect(std::uint64_t bytes);
    template <typename Line> void file(Line&& line);
    void prune(Instant cutoff);

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
    using SessionTurns = std::unordered_map<Name, std::vector<const Turn*>>;

    // Views over the held records in time order, kept up to date as records come and go.
    const std::vector<const Turn*>& byTime() const;
    const std::vector<const ResultEntry*>& resultsByTime() const;
    // Each chat's turns in time order.
    const SessionTurns& sessionTurns() const;
    template <typename F> void forEachTurnSince(Instant since, F&& f) const;
    ChatSummary summarize(Name sessionId, Instant since) const;

    double lookback_;
    Clock clock_;
    Instant cutoff_; // of the pass under way

    Turns turns_;
    std::unordered_map<std::string, ToolResult> results_;
    ToolCalls calls_; // by tool name
    // Per log: how far the store has read it.
    std::unordered_map<std::string, LogPosition> offsets_;

    std::unique_ptr<Feed> feed_;
    std::unique_ptr<LogPass> ownPass_; // with folders of its own
    LogPass::Stats lastPass_;
    bool took_ = false;
    bool filedResults_ = false;
    bool filedCalls_ = false;

    // Counts every change of the held records.
    std::uint64_t version_ = 1;
    // What the aggregates last gave, while no record came or went: a pass with nothing new asks
    // the same questions again.
    struct Memo {
        std::uint64_t version = 0;
        std::optional<Instant> chatsSince, eatersSince;
        std::vector<ChatSummary> chats;
        std::vector<ToolEater> eaters;
        std::optional<std::optional<ChatSummary>> current;
    };
    Memo& memo() const;
    mutable Memo memo_;

    mutable TimeIndex<Turn, TurnOrder> turnIndex_;
    mutable TimeIndex<ResultEntry, ResultOrder> resultIndex_;
    mutable bool sessionTurnsValid_ = false;
    mutable SessionTurns sessionTurns_;
};

} // namespace vellumkite
