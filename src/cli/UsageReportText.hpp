#pragma once

#include "UsageReport.hpp"

#include <string>

namespace vellumkite {

// A usage report as a table for a terminal: a row per period (with its models under it when
// asked), a totals row, numbers right-aligned with thousands separators. On a narrow terminal
// the least telling columns go first: cache reads, cache writes, input, output.
struct UsageReportText {
    struct Style {
        bool colour = false;
        int width = 0; // columns to fit in; 0: no limit
    };
    static std::string render(const UsageReport& report, const Style& style, bool byModel);
};

} // namespace vellumkite
