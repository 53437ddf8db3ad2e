#pragma once

#include "SqliteStatement.hpp"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vellumkite {

// An open SQLite database, closed with the object. A thin layer over the C API: statements,
// a few pragmas, transactions and the last error, nothing more.
class SqliteDatabase {
public:
    SqliteDatabase() = default;
    ~SqliteDatabase();
    SqliteDatabase(SqliteDatabase&& other) noexcept;
    SqliteDatabase& operator=(SqliteDatabase&& other) noexcept;
    SqliteDatabase(const SqliteDatabase&) = delete;
    SqliteDatabase& operator=(const SqliteDatabase&) = delete;

    // readOnly reads the file as it stands and never writes beside it (no journal files made),
    // so it may miss what a writer has not yet folded into the file. readAlongside reads what
    // writers have committed, through their journal files, which must already be there.
    enum class Mode { readWrite, create, readOnly, readAlongside };
    // Opens a database file; with `create`, a missing one is made (0600). Nothing when it cannot
    // be opened; `error` then says why.
    static std::optional<SqliteDatabase> open(const std::filesystem::path& file, Mode mode,
                                              std::string* error = nullptr);

    explicit operator bool() const { return db_ != nullptr; }

    // The name that ATTACH takes to read a file as it stands, as readOnly opens it.
    static std::string immutableUri(const std::filesystem::path& file);

    // A copy of the whole database in memory, to be changed without touching the file. Nothing
    // when it cannot be made; `error` then says why.
    std::optional<SqliteDatabase> copyToMemory(std::string* error = nullptr) const;

    SqliteStatement prepare(std::string_view sql) const;
    // Runs one or more statements without results; false on an error.
    [[nodiscard]] bool exec(std::string_view sql) const;
    // The first column of the first row of a query, if any.
    std::optional<std::int64_t> queryInteger(std::string_view sql) const;

    void setBusyTimeout(int milliseconds) const;
    std::string lastError() const;
    int lastCode() const;
    // The database file is damaged, or is not a database at all.
    static bool isCorruption(int code);

private:
    explicit SqliteDatabase(sqlite3* db) : db_(db) {}
    sqlite3* db_ = nullptr;
};

} // namespace vellumkite
