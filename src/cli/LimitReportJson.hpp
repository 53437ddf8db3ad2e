#pragma once

#include "LimitReport.hpp"

#include <string>
#include <string_view>

namespace vellumkite {

// The JSON form of `report limits`, a stable interface for scripts (see the README).
struct LimitReportJson {
    static std::string render(const LimitReport& report, std::string_view timezone);
};

} // namespace vellumkite
