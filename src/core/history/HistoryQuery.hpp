#pragma once

#include "DaySums.hpp"
#include "LocalDate.hpp"
#include "MachineScope.hpp"
#include "SqliteDatabase.hpp"
#include "Time.hpp"
#include "UsageClass.hpp"
#include "UsageTotals.hpp"

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vellumkite {

class PriceTable;

// Questions to the history's database, answered from its reply index alone. Each returns
// nothing when the database could not answer (busy beyond the timeout, or damaged). Usage comes
// in sums per price class (UsageClass), so that any price book can price it. Every machine's
// usage counts unless a scope says otherwise; over every machine, the same period, chat or
// model may come in more than one row, to be added up.
class HistoryQuery {
public:
    explicit HistoryQuery(const SqliteDatabase& db, MachineScope scope = {})
        : db_(db), scope_(scope) {}

    // Usage per quarter hour (counted from 1970, UTC) and model in [from, to). Every zone's
    // offset from UTC is a whole number of quarter hours, so a quarter never straddles a local
    // midnight and can be placed in a local day, week or month afterwards.
    struct Quarter {
        std::int64_t index = 0;
        std::string model;
        UsageClass usageClass;
        UsageTotals usage;
    };
    std::optional<std::vector<Quarter>> quarters(Instant from, Instant to) const;

    // Usage per local day and model in [first, last] (without them: from the first day, to the
    // last): over every machine from the sums the history keeps per day, a few rows a day.
    std::optional<std::vector<DaySums::Row>> days(std::optional<LocalDate> first,
                                                  std::optional<LocalDate> last) const;

    // Usage per chat or project, and model, in [from, to).
    enum class By { session, project };
    struct Share {
        std::string key;
        std::string model;
        UsageClass usageClass;
        UsageTotals usage;
    };
    std::optional<std::vector<Share>> shares(By by, Instant from, Instant to) const;

    // Usage per model in [from, to), to the microsecond. Asked again and again of one query (the
    // spans of the limit readings), it prepares its statement once.
    struct ModelUsage {
        std::string model;
        UsageClass usageClass;
        UsageTotals usage;
    };
    std::optional<std::vector<ModelUsage>> byModel(Instant from, Instant to) const;

    // Every model's usage over the whole history, in any class; it reads a history of any
    // version, for the price listing and the doctor.
    struct ModelTotal {
        std::string model;
        UsageTotals usage;
    };
    std::optional<std::vector<ModelTotal>> models() const;
    // Those the book has no entry for, by the id a report shows.
    std::optional<std::map<std::string, UsageTotals>> unpriced(const PriceTable& book) const;

    // How many other machines' usage the history holds (whatever the scope).
    std::int64_t otherMachines() const;

    // The time of the oldest reply; nothing for an empty history.
    std::optional<Instant> firstReply() const;

    // The last failure's SQLite code (0 when none), to tell damage from a busy database.
    int lastCode() const { return lastCode_; }

    // The history keeps other machines' usage (a version that has their tables).
    bool hasPeers() const;

private:
    template <typename Row, typename Read>
    std::optional<std::vector<Row>> rows(SqliteStatement& s, Read read) const;
    // The rows of the query over this machine's sums or replies, then of the other machines' as
    // the scope asks: @SOURCE@ in `sql` stands for the table, as q (sums) or r (replies), and
    // @WHERE@ for the condition that picks the scope's rows.
    template <typename Row, typename Read>
    std::optional<std::vector<Row>> scoped(const std::string& sql, bool sums,
                                           const std::function<void(SqliteStatement&)>& bind,
                                           Read read) const;
    // The prompt-class boundaries, read once.
    const std::vector<std::int64_t>* bands() const;
    UsageClass classFrom(const SqliteStatement& s, int first, std::int64_t day) const;

    const SqliteDatabase& db_;
    MachineScope scope_;
    mutable int lastCode_ = 0;
    mutable std::optional<std::vector<std::int64_t>> bands_;
    mutable std::optional<bool> hasPeers_;
    // Each statement made once over this query's life: the limits ask the same for every span.
    mutable std::map<std::string, SqliteStatement> statements_;
};

} // namespace vellumkite
