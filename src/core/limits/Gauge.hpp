#pragma once

#include "Thresholds.hpp"

namespace vellumkite {

// The colour bands of a limit gauge, the same in the app and the terminal tool. Fixed: the coach's
// own limit thresholds decide tips, not colours.
struct Gauge {
    static constexpr double kWarnFrom = 50;
    static constexpr double kAlertFrom = 80;

    // From the unrounded reading, so 79.6 (shown as 80 %) is still orange; NaN counts as info.
    static Level level(double percent);
};

} // namespace vellumkite
