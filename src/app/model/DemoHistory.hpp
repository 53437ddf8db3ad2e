#pragma once

#include "HistoryOverview.hpp"

namespace vellumkite {

// Demo mode's history: a fixed, made-up 30 days ending today, for screenshots.
struct DemoHistory {
    static HistoryOverview overview(Instant now);
    // Its limit readings: a week of 5-hour windows and four weeks, what one percent costs.
    static LimitOverview limits(Instant now);
};

} // namespace vellumkite
