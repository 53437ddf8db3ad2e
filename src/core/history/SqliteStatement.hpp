#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace vellumkite {

// One prepared statement, finalized with the object. Binds are 1-based, columns 0-based, as in
// SQLite itself. Reused across executions: step() to the end (or reset()) before binding again.
class SqliteStatement {
public:
    enum class Step { row, done, error };

    SqliteStatement() = default;
    SqliteStatement(sqlite3* db, std::string_view sql);
    ~SqliteStatement();
    SqliteStatement(SqliteStatement&& other) noexcept;
    SqliteStatement& operator=(SqliteStatement&& other) noexcept;
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    explicit operator bool() const { return stmt_ != nullptr; }

    SqliteStatement& bind(int index, std::int64_t value);
    SqliteStatement& bind(int index, double value);
    SqliteStatement& bind(int index, std::string_view text);
    SqliteStatement& bindNull(int index);
    SqliteStatement& bind(int index, const std::optional<std::string>& text);

    [[nodiscard]] Step step();
    // Steps through to the end; false on an error.
    [[nodiscard]] bool run();
    void reset();

    std::int64_t integer(int column) const;
    double real(int column) const;
    std::string text(int column) const;
    bool isNull(int column) const;

    // The result code of the last step (SQLITE_BUSY, SQLITE_CORRUPT, ...).
    int lastCode() const { return lastCode_; }

private:
    sqlite3_stmt* stmt_ = nullptr;
    int lastCode_ = 0;
};

} // namespace vellumkite
