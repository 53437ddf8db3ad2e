#pragma once

#include "SyncMachines.hpp"
#include "UsageReport.hpp"

#include <string>
#include <string_view>
#include <vector>

namespace vellumkite {

// The JSON form of a usage report, a stable interface for scripts (see the README).
struct UsageReportJson {
    // `machines`: those whose usage the history holds, this one first.
    static std::string render(const UsageReport& report, std::string_view timezone, bool byModel,
                              const std::vector<SyncMachine>& machines = {});
};

} // namespace vellumkite
