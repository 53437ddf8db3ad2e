#pragma once

#include "Snapshot.hpp"

#include <string>

namespace vellumkite {

// The machine-readable forms of one pass, for scripts and status bars. Their members are a
// public interface: add to them, never rename or drop.
struct SnapshotJson {
    // One object: loaded, menuTitle, limits, currentChat, topChats, toolEaters, todayWeight,
    // burnPerMin, sparkline, tips and percentPerMessage. Instants in UTC with milliseconds.
    static std::string full(const Snapshot& snapshot);

    // One line for a Waybar custom module: text, tooltip, class ("ok", "warn" or "alert"),
    // with a 5-hour reading percentage, and percentPerMessage. `chatText` is this chat's line as
    // the report shows it.
    static std::string waybar(const Snapshot& snapshot, const std::string& chatText);
};

} // namespace vellumkite
