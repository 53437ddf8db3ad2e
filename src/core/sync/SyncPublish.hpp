#pragma once

#include "MachineIdentity.hpp"
#include "SqliteDatabase.hpp"
#include "Time.hpp"

#include <filesystem>
#include <string>

namespace vellumkite {

// Publishes this machine's own rows of the history (never those taken in from others) as its
// file in the sync folder: copied into a database of their own, written with VACUUM INTO to a
// temporary name in the same folder, flushed, and renamed over the file, so that a sync engine
// only ever sees whole files. Only this machine's file and its own temporary files are touched.
struct SyncPublish {
    enum class Status { published, unchanged, failed };
    struct Outcome {
        Status status = Status::failed;
        std::string message; // with failed: one line that says why
    };

    // Writes the file unless it is there as last published and nothing of this machine's has
    // changed since (`always`: writes it whatever).
    static Outcome run(const SqliteDatabase& db, const MachineIdentity& me,
                       const std::filesystem::path& folder, Instant now, bool always = false);

    // How long a temporary file of ours may stand before it is taken for one left by a kill.
    static constexpr double kStaleSeconds = 600;
};

} // namespace vellumkite
