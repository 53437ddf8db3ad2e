#pragma once

#include <filesystem>
#include <string_view>
#include <sys/types.h>

namespace vellumkite {

// Files only their owner may read, replaced so that a reader sees the old contents or the new,
// never a part.
struct AtomicFile {
    // Creates the folder and any missing parents, each new one with mode 0700. Folders that
    // exist are left as they are. False, with errno telling why, on any failure.
    [[nodiscard]] static bool makeFolders(const std::filesystem::path& folder);

    // Writes the bytes to a new file (0600 unless another mode is given) in the same folder,
    // flushes it to disk, renames it over `path` and flushes the folder. The final path is never
    // opened, so a symlink planted there is replaced, not followed. False, with nothing left
    // behind and errno telling why, on any failure (a folder in the way included).
    [[nodiscard]] static bool replace(const std::filesystem::path& path, std::string_view bytes,
                                      mode_t mode = 0600);

    // As replace(), except that a file of ours (regular, 0600) that already holds exactly these
    // bytes is only marked as modified now: readers still see when it was last confirmed, and
    // the common case costs no flush to disk.
    [[nodiscard]] static bool update(const std::filesystem::path& path, std::string_view bytes);
};

} // namespace vellumkite
