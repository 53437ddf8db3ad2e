#pragma once

#include "LocalDate.hpp"
#include "UsageTotals.hpp"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vellumkite {

class HistoryQuery;
class PriceTable;

// A report of the history: usage and its list-price cost per local day, week or month, or per
// chat, project or model, in the process's time zone. Periods without usage are left out.
struct UsageReport {
    enum class Kind { daily, weekly, monthly, chats, projects, models };

    struct Options {
        Kind kind = Kind::daily;
        std::optional<LocalDate> since, until; // inclusive local days
        unsigned firstWeekday = 1;             // 1 Monday, 0 Sunday
        bool byModel = false;
    };

    // What a row's usage is worth at list prices.
    struct Cost {
        std::optional<double> total;    // nothing when any part has no price
        double priced = 0;              // the parts with a price
        std::int64_t fastUnpriced = 0;  // fast replies at standard rates, for want of a multiplier
        std::size_t unpricedModels = 0; // models with usage that has no price
    };
    struct ModelRow {
        std::string model; // without "[1m]": a model and its 1M-context use are one row
        UsageTotals usage;
        Cost cost;
    };
    struct Row {
        std::string period; // "2026-12-01", the week's first day, "2026-12", or the key
        UsageTotals usage;
        Cost cost;
        std::vector<std::string> models;
        std::vector<ModelRow> byModel; // heaviest first; only when asked for
    };

    Kind kind = Kind::daily;
    std::string since, until; // the range covered, as local days
    std::vector<Row> rows;
    UsageTotals totals;
    Cost totalCost;
    std::vector<std::string> unpricedModels;
    std::int64_t searchesUnpriced = 0; // web searches the book has no fee for; not in any cost
    std::string priceBook;             // the newest day the book's figures were checked

    static std::optional<Kind> kindOf(std::string_view name);
    static std::string_view nameOf(Kind kind);

    // Nothing when the database could not answer.
    static std::optional<UsageReport> build(const HistoryQuery& query, const PriceTable& prices,
                                            const Options& options, Instant now);
};

} // namespace vellumkite
