#pragma once

#include "Level.hpp"
#include "Time.hpp"

#include <cstdint>
#include <optional>
#include <string>

namespace vellumkite {

// One piece of advice from the coach.
struct Tip {
    using Level = vellumkite::Level;

    std::string rule; // "chat.hard", "limit.pace", "tool.File reads", "ok", ...
    Level level = Level::info;
    std::string title;
    std::string text;
    std::optional<std::string> notifyKey; // present on tips that may become a notification
    // A key kept longer than the notifier's day: a week's window is one instance until it resets.
    std::optional<Instant> notifyUntil = std::nullopt;

    bool operator==(const Tip&) const = default;

    // A level from its raw value; nothing for anything but 0, 1 and 2.
    static std::optional<Level> levelFromRaw(std::int64_t raw);
    // "info", "warn" or "alert".
    static const char* levelName(Level level);
};

} // namespace vellumkite
