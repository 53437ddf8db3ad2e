#pragma once

#include "LocalDate.hpp"
#include "MachineIdentity.hpp"
#include "SqliteDatabase.hpp"
#include "Time.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vellumkite {

// The machines whose usage the history holds: this one, and each other machine taken in from
// the sync folder (or seen there in a file that could not be read).
struct SyncMachine {
    std::int64_t number = 0; // in the history's machines table; 0 for this machine
    std::string id;
    std::string name;
    bool self = false;
    std::optional<Instant> published; // when its file was written (this machine's: by us)
    std::int64_t replies = 0;         // in the history, each machine's own, shared ones too
    std::string problem;              // why its file was last skipped
    bool forgotten = false;
    bool operator==(const SyncMachine&) const = default;
};

struct SyncMachines {
    // This machine first, then the others by name; forgotten ones only when asked for. Nothing
    // when the history could not answer.
    static std::optional<std::vector<SyncMachine>>
    list(const SqliteDatabase& db, const MachineIdentity& me, bool withForgotten = false);

    // The machine a user names, by its name or its id (or the start of its id, 8 characters or
    // more); none when no machine or more than one answers to it (`matches` then holds them).
    static const SyncMachine* find(const std::vector<SyncMachine>& machines, std::string_view text,
                                   std::vector<const SyncMachine*>* matches = nullptr);

    // The local days on which a machine has usage: how many, the first and the last.
    struct Days {
        std::int64_t count = 0;
        std::optional<LocalDate> first, last;
    };
    static std::optional<Days> days(const SqliteDatabase& db, const SyncMachine& machine);

    // Takes another machine's rows out of the history; its copies of replies that other
    // machines also have count under them now. Its file, while it stays as it is, is passed
    // over. False when the history could not be written.
    [[nodiscard]] static bool forget(const SqliteDatabase& db, std::int64_t number);
};

} // namespace vellumkite
