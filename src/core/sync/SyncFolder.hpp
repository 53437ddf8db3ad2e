#pragma once

#include "Time.hpp"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vellumkite {

// The folder the user syncs between machines, as far as we look at it: each machine's file is
// vellumkite-<machine id>.sqlite3, and only files named exactly so are ever read. Whatever else
// is there (a sync engine's conflict copies and temporary files, anything of the user's) is left
// alone; only this machine's own file and its temporary files are ever written.
struct SyncFolder {
    static std::string fileName(std::string_view machineId);
    // The machine id a file name names; nothing for any other name.
    static std::optional<std::string> machineOf(std::string_view fileName);
    // A temporary name for this machine's file while it is written: hidden, ending in .tmp,
    // unique to this process and call.
    static std::string temporaryName(std::string_view machineId);
    // One of this machine's temporary files.
    static bool isTemporaryOf(std::string_view fileName, std::string_view machineId);

    struct File {
        std::string machine; // its id
        std::filesystem::path path;
        std::int64_t size = 0;
        Instant modified;
    };
    struct Listing {
        std::vector<File> files;          // by machine id; this machine's own among them
        std::vector<std::string> ignored; // vellumkite-* names not of that form (conflict copies)
        std::string problem;              // why the folder could not be read; empty when it was
    };
    static Listing list(const std::filesystem::path& folder);

    // What stands at the folder's path: nothing when it is a folder this user can write in, else
    // why not ("does not exist", "is not a folder", "cannot be written").
    static std::optional<std::string> problem(const std::filesystem::path& folder);
};

} // namespace vellumkite
