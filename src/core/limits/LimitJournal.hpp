#pragma once

#include "LimitReading.hpp"
#include "Time.hpp"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vellumkite {

// The journal of official readings beside the limits file: the status line appends each reading
// that differs from the one before, and the app and `report` take its new lines into the
// history. Appending is one write to a file opened with O_APPEND, so two status lines running
// at once never mix their lines, and nothing here ever opens the database.
struct LimitJournal {
    // Past this size, once every line of it is in the history, the journal is set aside so that
    // the status line begins a new one.
    static constexpr std::uint64_t kFreshStartSize = std::uint64_t{1} << 20;
    // How much of its end is read to find the last reading: more than any line takes.
    static constexpr std::size_t kTail = 8192;

    // <app data>/limit-readings.jsonl, beside the limits file; empty when no folder is known.
    static std::filesystem::path file();
    // The journal beside a limits file.
    static std::filesystem::path beside(const std::filesystem::path& limitsFile);
    // Where a full journal is moved once it is in the history: <journal>.old.
    static std::filesystem::path setAsideFile(const std::filesystem::path& journal);

    enum class Appended { added, unchanged, failed };
    // Appends the reading unless the journal's last reading has the same windows. The file is
    // created 0600; a link, a folder or a file of someone else in its place is never written. A
    // last line cut short (a full disk, a kill) is ended first, so the new line stays whole.
    static Appended append(const std::filesystem::path& journal, const LimitReading& reading);

    // Why a journal line cannot be a true reading taken at `at`, as the status line judges the
    // limits file; nothing when it can.
    static std::optional<std::string> refusal(std::string_view line, Instant at);
};

} // namespace vellumkite
