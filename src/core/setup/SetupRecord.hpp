#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace vellumkite {

// What each settings file's status line was before Vellumkite changed it, so that an undo puts
// back exactly that. A note of our own rather than the newest backup: backups are the user's to
// delete, and one may predate later edits of other settings that an undo must keep.
struct SetupRecord {
    struct Entry {
        std::optional<std::string> before; // the statusLine value as written; nothing: none
        std::string after;                 // the value we wrote, to know it is still ours
    };
    std::map<std::string, Entry> entries; // by the settings file's real path

    // Beside the limits file, in the one folder Vellumkite writes.
    static std::filesystem::path defaultFile();

    // Empty when the file is missing or unreadable.
    static SetupRecord load(const std::filesystem::path& path);
    // Replaces the file atomically (0600), or removes it when there are no entries left.
    bool save(const std::filesystem::path& path) const;
};

} // namespace vellumkite
