#pragma once

#include "LocalDate.hpp"
#include "MachineScope.hpp"
#include "SqliteDatabase.hpp"
#include "UsageClass.hpp"
#include "UsageTotals.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vellumkite {

// Usage per local day, model and price class, so that a report over a long history of many
// machines reads a few rows a day instead of every quarter hour. Over every machine, the days
// are kept in the history for the process's zone (a few zones at most) and brought up to date
// when read, from the first quarter hour whose sums changed since: the triggers that keep the
// quarter-hour sums note it. Other scopes are worked out from their quarter hours each time.
struct DaySums {
    struct Row {
        LocalDate date;
        std::string model;
        UsageClass usageClass; // its day is the UTC day, which sets the price period
        UsageTotals usage;
    };

    static constexpr std::size_t kZones = 4;

    // The days in [first, last] (unbounded without them); nothing when the history could not
    // answer. A history that cannot be written (another program writing) answers from the
    // quarter hours.
    static std::optional<std::vector<Row>> read(const SqliteDatabase& db, MachineScope scope,
                                                std::optional<LocalDate> first,
                                                std::optional<LocalDate> last);

    // The process's zone as the days are kept for it: its name and its offsets at a few
    // instants, so that a zone whose rules changed is a new one.
    static std::string zone();
};

} // namespace vellumkite
