#pragma once

#include "Time.hpp"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

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

    // Reads and decodes the file; nothing on any failure. A window whose reset time has come,
    // or whose values no true reading has (see refusal()), is dropped. Only a regular file of
    // at most kMaxFileSize bytes is read.
    static std::optional<Limits> load(const std::filesystem::path& path,
                                      const Clock& clock = systemClock());

    // Why the status line must not save this text (the file as it would be written) as a
    // reading taken `now`; nothing when it may. A window that resets more than kMaxAhead after
    // the reading (a time in milliseconds, say) or before it by more than its own length, a
    // percentage outside 0 to kMaxPercent, or a file over kMaxFileSize is refused.
    static std::optional<std::string> refusal(std::string_view text, Instant now);

    static constexpr std::size_t kMaxFileSize = 1 << 20;
    static constexpr double kMaxPercent = 1000;
    static constexpr auto kMaxAhead = std::chrono::hours(8 * 24);
};

} // namespace vellumkite
