#pragma once

#include "LimitCalibration.hpp"
#include "LimitHistory.hpp"
#include "LimitProjection.hpp"
#include "LocalDate.hpp"
#include "WindowInstance.hpp"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vellumkite {

class PriceTable;

// `report limits`: the window instances of the readings kept, each with the usage of the replies
// inside it, what one percent of each window costs, and when the current instances run out.
struct LimitReport {
    struct Options {
        std::optional<LocalDate> since, until; // inclusive local days
    };

    struct Window {
        WindowInstance instance; // its readings inside the days asked for
        LimitHistory::Usage usage;
    };

    std::string since, until;    // the range covered, as local days
    std::vector<Window> windows; // by name, then time
    std::map<std::string, LimitCalibration, std::less<>> calibration;
    std::vector<LimitProjection> projections; // by name

    // The replies inside an instance: from the window's start (its reset less its length, or its
    // first reading for a window of unknown length) to its reset, within [from, to) and before
    // `now`.
    static std::pair<Instant, Instant> inside(const WindowInstance& instance, Instant from,
                                              Instant to, Instant now);

    // Nothing when the database could not answer.
    static std::optional<LimitReport> build(const SqliteDatabase& db, const PriceTable& prices,
                                            const Options& options, Instant now);
};

} // namespace vellumkite
