#pragma once

#include "HistoryOverview.hpp"

namespace vellumkite {

// Demo mode's history: a fixed, made-up 30 days ending today, for screenshots.
struct DemoHistory {
    static HistoryOverview overview(Instant now);
};

} // namespace vellumkite
