#pragma once

#include "SqliteDatabase.hpp"

#include <filesystem>
#include <optional>
#include <string>

namespace vellumkite {

// The history's database file: where it lives, opening it with its schema up to date, and
// setting a damaged one aside. Both programs may have it open at once; neither waits on the
// other for more than kBusyMilliseconds.
struct HistoryDatabase {
    static constexpr int kVersion = 3;
    static constexpr int kBusyMilliseconds = 300;

    enum class Status {
        ready,
        rebuilt,     // the file was damaged: it was set aside and a new one begun
        newer,       // written by a newer version: left alone, history is off
        unavailable, // cannot be created or opened: history is off
    };

    struct Opened {
        Status status = Status::unavailable;
        std::optional<SqliteDatabase> db; // with ready and rebuilt
        std::string message;              // one line for the user, for anything but ready
    };

    // <app data>/history.sqlite3, e.g. ~/.local/share/Vellumkite/history.sqlite3.
    static std::filesystem::path defaultFile();

    // Opens the file, creating it (and its folder, 0700; the file 0600) when it is missing.
    // With `check`, a full integrity check runs first. A file that is not a database, fails the
    // check or cannot be read is renamed to <file>.corrupt-<date>-<time> and a new one begun.
    static Opened open(const std::filesystem::path& file, bool check = false);

    // Renames a damaged file aside (with its journal files) and returns the line that tells the
    // user so.
    static std::string setAside(const std::filesystem::path& file);
};

} // namespace vellumkite
