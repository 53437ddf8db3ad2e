#pragma once

#include "SqliteDatabase.hpp"
#include "Time.hpp"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace vellumkite {

// The file a machine publishes: a SQLite database of its own rows alone, in a layout of its own
// (not the history's), marked by its application id and a format number that grows only when a
// reader of an older format could no longer read it. It holds the machine's id and name, its
// replies (time, chat, project, model, counts), its tool results' sizes and the per-quarter-hour
// sums of its replies, which tell a reader where a new file differs from what it took in before.
struct SyncFile {
    static constexpr std::int32_t kApplicationId = 0x566b5379; // "VkSy"
    static constexpr int kFormat = 1;

    // The tables, each name prefixed by `schema` and a dot.
    static std::string schema(const std::string& schema);

    // What the file says of its machine.
    struct Machine {
        std::string id;
        std::string name;
        Instant published;
    };

    // Why an attached file (as `schema`) cannot be read: not ours, of a newer format, damaged,
    // or not naming the machine its name gives; nothing when it can be.
    static std::optional<std::string> problem(const SqliteDatabase& db, const std::string& schema,
                                              const std::string& machineId, Machine& machine);
    // Why a file's first bytes say it cannot be whole: not a database, or shorter than its own
    // header says. Nothing when they say nothing against it.
    static std::optional<std::string> headerProblem(const std::filesystem::path& file);
};

} // namespace vellumkite
