#pragma once

#include "HistoryQuery.hpp"
#include "LimitRecord.hpp"
#include "SqliteDatabase.hpp"
#include "Time.hpp"
#include "WindowInstance.hpp"

#include <map>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace vellumkite {

class PriceTable;

// The limit readings kept in the history, and the usage of the replies between them. Each
// question returns nothing when the database could not answer.
class LimitHistory {
public:
    explicit LimitHistory(const SqliteDatabase& db) : db_(db), query_(db) {}

    // The readings read in [from, to) as window instances: by window name, then time.
    std::optional<std::vector<WindowInstance>> instances(Instant from, Instant to) const;

    struct Usage {
        double weight = 0;
        std::optional<double> cost; // nothing when a model has no price
        std::int64_t replies = 0;
    };
    // The replies in [from, to).
    std::optional<Usage> usage(Instant from, Instant to, const PriceTable& prices) const;
    // The replies of a span: after its first reading, up to and with its last.
    std::optional<Usage> usage(const LimitSpan& span, const PriceTable& prices) const;

    // The usage of spans already worked out, for a caller that works the record out again and
    // again: a span's replies do not change once they are in the history.
    using SpanCache = std::map<std::pair<Instant, Instant>, Usage>;

    // Each window's calibration as of `now` and its latest instance; with `only`, that window's
    // alone.
    std::optional<LimitRecord> record(const PriceTable& prices, Instant now,
                                      SpanCache* cache = nullptr, std::string_view only = {}) const;

    // The weight per minute of the replies in the 15 minutes before `now`, as the live figures
    // count their burn.
    std::optional<double> burnPerMin(Instant now) const;

    // The list-price value of usage per model; nothing when any model has no price.
    static std::optional<double> cost(const PriceTable& prices,
                                      const std::vector<HistoryQuery::ModelUsage>& usage);

private:
    const SqliteDatabase& db_;
    HistoryQuery query_; // one statement for every span
};

} // namespace vellumkite
