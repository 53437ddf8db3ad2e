#pragma once

#include "Time.hpp"

#include <filesystem>
#include <optional>

namespace vellumkite {

// One reading of the status-line file: the official 5-hour and weekly windows.
struct Limits {
    struct Window {
        double usedPercent = 0; // 34 means 34 %; not clamped
        Instant resetsAt;

        bool operator==(const Window&) const = default;
    };

    std::optional<Window> fiveHour;
    std::optional<Window> sevenDay;
    Instant savedAt; // the file's modification time, kDistantPast when unknown

    bool operator==(const Limits&) const = default;

    // Where the status-line file lives. macOS: ~/Library/Application Support/Vellumkite;
    // elsewhere $XDG_DATA_HOME/Vellumkite (default ~/.local/share/Vellumkite). Read from the
    // environment on every call, so tests can point HOME and XDG_DATA_HOME elsewhere.
    static std::filesystem::path file();

    // Reads and decodes the file; nothing on any failure. A window whose reset time has come
    // is dropped. Only a regular file of at most kMaxFileSize bytes is read.
    static std::optional<Limits> load(const std::filesystem::path& path,
                                      const Clock& clock = systemClock());

    static constexpr std::size_t kMaxFileSize = 1 << 20;
};

} // namespace vellumkite
