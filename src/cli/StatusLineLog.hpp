#pragma once

#include "Time.hpp"

#include <filesystem>
#include <string>

namespace vellumkite {

// The status line's own log, beside the readings it saves: what it refused and why, one line
// each, since the status bar has no room to say it. Kept small; a full log begins again.
struct StatusLineLog {
    static constexpr std::size_t kMaxSize = 64 * 1024;

    // <app data>/statusline.log, next to Limits::file().
    static std::filesystem::path file();

    // Appends "<time> <text>" as one line. Never follows a link, never blocks, and fails
    // silently: the status line answers whatever happens here.
    static void add(const std::string& text, Instant now = systemNow());
};

} // namespace vellumkite
