#pragma once

#include "LimitReport.hpp"

#include <string>

namespace vellumkite {

// `report limits` for a terminal: a row per window instance in local time, then what one percent
// of each window costs and when the current ones run out.
struct LimitReportText {
    static std::string render(const LimitReport& report, bool colour);
};

} // namespace vellumkite
