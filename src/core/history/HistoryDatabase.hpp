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
    static constexpr int kVersion = 4;
    static constexpr int kBusyMilliseconds = 300;

    enum class Status {
        ready,
        rebuilt,     // the file was damaged: it was set aside and a new one begun
        newer,       // written by a newer version: left alone, history is off
        readOnly,    // cannot be written (its mode, its owner, its folder, the disk): left alone
        unavailable, // cannot be created or opened, or no file of ours is there: history is off
    };

    struct Opened {
        Status status = Status::unavailable;
        std::optional<SqliteDatabase> db; // with ready and rebuilt
        // One line for the user: always unless ready, and with ready when something was set
        // right on the way (a file others could read made private).
        std::string message;
    };

    // What stands in the history's place, as far as it decides whether it may be written.
    struct Place {
        enum class Kind { missing, writable, readOnly, notAFile };
        Kind kind = Kind::missing;
        std::string problem; // readOnly, notAFile: "is a folder", "belongs to another user"...
        std::string fix;     // what the user can do about it
        unsigned mode = 0;   // the permission bits of a file that is there
    };
    static Place inspect(const std::filesystem::path& file);

    // <app data>/history.sqlite3, e.g. ~/.local/share/Vellumkite/history.sqlite3.
    static std::filesystem::path defaultFile();

    // Opens the file, creating it (and its folder, 0700; the file 0600) when it is missing, and
    // making one that others could read the user's alone. With `check`, a quick integrity check
    // runs first. Only a file that SQLite finds damaged or not a database is renamed to
    // <file>.corrupt-<date>-<time> and a new one begun: a link, a folder or a file that cannot be
    // written is left as it is, and a link is never followed.
    static Opened open(const std::filesystem::path& file, bool check = false);

    // The file, read as it stands into memory, for a program that must answer from a history it
    // cannot write: brought up to date there, and never saved.
    static Opened openCopy(const std::filesystem::path& file);

    // The file as it stands, only to read, never writing anything beside it: what the programs
    // have committed, through their journal files when they are there. Nothing for a link, a
    // folder or anything else that is not a plain file.
    static std::optional<SqliteDatabase> openToRead(const std::filesystem::path& file,
                                                    std::string* error = nullptr);

    // The file is not a database, or fails SQLite's quick check.
    static bool damaged(const SqliteDatabase& db);

    // Renames a damaged file aside (with its journal files) and returns the line that tells the
    // user so.
    static std::string setAside(const std::filesystem::path& file);

    // The tables as the first version made them. Each later version changes them by a step of
    // its own from here, so this text stays as it is for good; tests build an old history from it.
    static std::string firstSchema();
};

} // namespace vellumkite
