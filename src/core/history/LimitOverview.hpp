#pragma once

#include "LimitCalibration.hpp"
#include "LimitHistory.hpp"
#include "Time.hpp"
#include "WindowInstance.hpp"

#include <optional>
#include <vector>

namespace vellumkite {

class PriceTable;

// The History window's limits: the last 7 days of 5-hour windows by their peak, the weekly
// percentage of the last 4 weeks, and what one percent of each costs.
struct LimitOverview {
    static constexpr int kFiveHourDays = 7;
    static constexpr int kWeeks = 4;

    struct Peak {
        Instant start, resetsAt; // the window ran from start (its reset less 5 hours)
        double percent = 0;
        bool operator==(const Peak&) const = default;
    };
    Instant from, to;           // the 7 days the peaks are shown in
    std::vector<Peak> fiveHour; // oldest first

    struct Week {
        Instant start, resetsAt; // the week ran from start (its reset less 7 days)
        std::vector<LimitPoint> readings;
        bool operator==(const Week&) const = default;
    };
    std::vector<Week> weeks; // oldest first, at most kWeeks, the current one last

    LimitCalibration fiveHourCalibration, weeklyCalibration;

    bool operator==(const LimitOverview&) const = default;
    bool empty() const { return fiveHour.empty() && weeks.empty(); }

    // Nothing when the database could not answer.
    static std::optional<LimitOverview> build(const SqliteDatabase& db, const PriceTable& prices,
                                              Instant now,
                                              LimitHistory::SpanCache* cache = nullptr);
};

} // namespace vellumkite
