#include "DemoData.hpp"

#include "ToolCategory.hpp"

namespace vellumkite {

Snapshot DemoData::snapshot(Instant now) {
    Snapshot s;
    Limits limits;
    limits.fiveHour = Limits::Window{34, addSeconds(now, 7800)};
    limits.sevenDay = Limits::Window{18, addSeconds(now, 356400)};
    limits.savedAt = now;
    s.limits = limits;
    s.topChats = {
        {"a", "/Users/you/Projects/my-app", now, 42, 86000, 41, 0},
        {"b", "/Users/you/Projects/website", addSeconds(now, -5700), 63, 140000, 27, 0},
        {"c", "/Users/you/Projects/api-server", addSeconds(now, -12600), 18, 52000, 14, 0},
        {"d", "/Users/you/Projects/notes", addSeconds(now, -18000), 9, 21000, 6, 0},
    };
    s.currentChat = s.topChats.front();
    s.todayWeight = 100;
    s.toolEaters = {
        {std::string(ToolCategory::kFileReads), 118, 310000, 22, 0},
        {std::string(ToolCategory::kTerminal), 64, 140000, 11, 0},
        {std::string(ToolCategory::kWeb), 9, 60000, 6, 0},
    };
    s.burnPerMin = 18000;
    s.sparkline = {0, 0, 0, 2, 3, 1, 0, 0, 4, 6, 5, 3, 0, 0, 0,
                   2, 5, 8, 7, 6, 3, 2, 0, 0, 3, 5, 9, 7, 4, 6};
    s.tips = {Tip{"demo", Tip::Level::info, "Healthy chat size",
                  "One task per chat keeps it that way.", std::nullopt}};
    return s;
}

} // namespace vellumkite
