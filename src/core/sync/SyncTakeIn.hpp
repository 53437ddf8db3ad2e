#pragma once

#include "SqliteDatabase.hpp"
#include "SyncFolder.hpp"
#include "Time.hpp"

#include <filesystem>
#include <string>
#include <vector>

namespace vellumkite {

// Takes the other machines' files in the sync folder into the history, each machine's rows kept
// apart under it: only files whose size or time changed since they were last taken in, read as
// they stand (immutable: never locked, never written beside). What a file held before stays
// when it goes or holds less; a machine forgotten is passed over until its file changes. A file
// that cannot be read (damaged, cut short, of a newer format, naming another machine) is skipped
// with one line and not tried again until it changes.
struct SyncTakeIn {
    struct Outcome {
        int taken = 0;                  // machines whose files were taken in
        bool more = false;              // changed files left for a later call
        std::vector<std::string> lines; // one for each file skipped, and for a folder not read
        bool busy = false;              // the history could not be written: try again later
    };

    // At most `limit` files are read (a first file of a year of use takes a second or two).
    static Outcome run(const SqliteDatabase& db, const std::filesystem::path& folder,
                       const std::string& selfId, Instant now, int limit = 1 << 30);
    // One machine's file, whatever its size and time.
    static Outcome takeFile(const SqliteDatabase& db, const SyncFolder::File& file, Instant now);
};

} // namespace vellumkite
