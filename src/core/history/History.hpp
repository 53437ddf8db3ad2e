#pragma once

#include "LimitReading.hpp"
#include "LogPosition.hpp"
#include "SqliteDatabase.hpp"
#include "ToolCalls.hpp"
#include "TurnParser.hpp"

#include <cstdint>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

namespace vellumkite {

// The usage history: every reply and tool result ever read from the logs, merged as the store
// merges them, and how far each log was read. Lines are taken in as a pass reads them and
// written when the pass is done, in one transaction together with the new read positions, so
// that a kill at any moment loses at most that pass and the next run reads those lines again.
class History {
public:
    explicit History(SqliteDatabase db);
    ~History();
    History(const History&) = delete;
    History& operator=(const History&) = delete;

    // How far the history has read a log (committed, or taken in this pass); an empty position
    // for a log it has never read.
    LogPosition position(const std::string& path) const;
    void advance(const std::string& path, const LogPosition& position);

    void take(const ParsedLine& line);
    // An official limit reading, from the journal; one read before is kept as it was.
    void takeReading(const LimitReading& reading);

    // Writes what this pass took in. False when it could not (the other program held the
    // database beyond the busy timeout, a full disk, a damaged file): the pass's lines and
    // positions are then dropped, to be read again from the logs next time.
    [[nodiscard]] bool commit();
    // The same on a thread of its own, so that the next pass can be read meanwhile: it first
    // waits for the one before, whose outcome lastCommitFailed() then tells.
    void commitInBackground();
    // Waits for a commit in the background; false when it failed. A pass read while a commit that
    // failed was under way read on from where that one had left the logs, so its lines are
    // dropped too: both are read again, from the positions last written.
    [[nodiscard]] bool finishCommit();
    bool lastCommitFailed() const { return lastCommitFailed_; }
    bool pending() const { return !pending_.empty(); }
    // A commit found the file damaged: it should be set aside and the history rebuilt.
    bool damaged() const { return damaged_; }

    const SqliteDatabase& database() const { return db_; }
    // Positions read from the file: the logs' positions as another program may have moved them.
    void reloadPositions();

private:
    struct PendingResult {
        Name sessionId;
        Instant time;
        std::optional<Name> category; // none: the call's name is not known here
        std::int64_t tokens = 0;
    };
    // What one pass took in.
    struct Batch {
        std::unordered_map<std::string, LogPosition> moved;
        std::unordered_map<std::string, Turn> turns;
        std::unordered_map<std::string, PendingResult> results;
        ToolCalls calls; // by category
        std::vector<LimitReading> readings;
        bool empty() const {
            return moved.empty() && turns.empty() && results.empty() && readings.empty();
        }
    };

    bool write(const Batch& batch);
    bool writeRows(const Batch& batch);
    void settle(Batch& batch, bool written);
    std::optional<std::int64_t> nameId(Name name);

    SqliteDatabase db_;
    std::unordered_map<std::string, LogPosition> positions_; // committed
    Batch pending_;                                          // this pass
    Batch writing_;                                          // being written in the background
    std::future<bool> written_;
    std::unordered_map<Name, std::int64_t> names_;    // committed name ids
    std::unordered_map<Name, std::int64_t> newNames_; // ids made in this transaction
    bool damaged_ = false;
    bool lastCommitFailed_ = false;

    struct Statements;
    std::unique_ptr<Statements> statements_;
};

} // namespace vellumkite
