#pragma once

#include "UsageReport.hpp"

#include <string>
#include <string_view>

namespace vellumkite {

// The JSON form of a usage report, a stable interface for scripts (see the README).
struct UsageReportJson {
    static std::string render(const UsageReport& report, std::string_view timezone, bool byModel);
};

} // namespace vellumkite
