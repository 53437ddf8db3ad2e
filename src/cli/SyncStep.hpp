#pragma once

#include "MachineIdentity.hpp"
#include "SqliteDatabase.hpp"
#include "SyncMachines.hpp"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vellumkite {

class WritablePreferences;

// What the terminal tool's commands share about sync: the folder the preferences name, this
// machine's identity, and the step a report takes before it answers.
struct SyncStep {
    // The folder the preferences name; empty when sync is off.
    static std::filesystem::path folder(const WritablePreferences& preferences);
    // This machine's identity, made when there is none yet; one without an id when it can be
    // neither read nor saved.
    static MachineIdentity identity();

    // With the folder on: the other machines' changed files taken in, then this machine's file
    // published if anything of its own is new. Each file skipped and each failure is one line
    // on standard error; nothing here stops the command.
    static void run(const SqliteDatabase& db, const MachineIdentity& me,
                    const std::filesystem::path& folder);

    // The machines whose usage a report counts: this one, and the others with any.
    static std::vector<SyncMachine> counted(const SqliteDatabase& db, const MachineIdentity& me);
};

} // namespace vellumkite
