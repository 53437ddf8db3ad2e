#include "SqliteDatabase.hpp"

#include "UniqueFd.hpp"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sqlite3.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace vellumkite {

namespace {

// A path as a file: URI spells it: the characters a URI gives a meaning, escaped.
std::string uriPath(const std::string& path) {
    std::string out;
    for (const unsigned char c : path) {
        if (c == '%' || c == '?' || c == '#' || c < 0x21 || c > 0x7e) {
            static const char hex[] = "0123456789ABCDEF";
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

} // namespace

SqliteDatabase::~SqliteDatabase() {
    sqlite3_close_v2(db_);
}

SqliteDatabase::SqliteDatabase(SqliteDatabase&& other) noexcept
    : db_(std::exchange(other.db_, nullptr)) {}

SqliteDatabase& SqliteDatabase::operator=(SqliteDatabase&& other) noexcept {
    if (this != &other) {
        sqlite3_close_v2(db_);
        db_ = std::exchange(other.db_, nullptr);
    }
    return *this;
}

std::optional<SqliteDatabase> SqliteDatabase::open(const std::filesystem::path& file, Mode mode,
                                                   std::string* error) {
    if (mode == Mode::create) {
        // SQLite creates files with the umask's permissions; ours are the user's alone.
        const UniqueFd fd(::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
        if (!fd) {
            if (error)
                *error = std::strerror(errno);
            return std::nullopt;
        }
    }
    sqlite3* db = nullptr;
    // URIs throughout, so that a file attached later can be read as it stands (immutable).
    int flags = SQLITE_OPEN_NOFOLLOW | SQLITE_OPEN_EXRESCODE | SQLITE_OPEN_URI;
    std::string name = "file:" + uriPath(file.string());
    if (mode == Mode::readOnly) {
        flags |= SQLITE_OPEN_READONLY;
        name += "?immutable=1";
    } else if (mode == Mode::readAlongside) {
        flags |= SQLITE_OPEN_READONLY;
    } else {
        flags |= SQLITE_OPEN_READWRITE;
    }
    if (sqlite3_open_v2(name.c_str(), &db, flags, nullptr) != SQLITE_OK) {
        if (error)
            *error = db ? sqlite3_errmsg(db) : "out of memory";
        sqlite3_close_v2(db);
        return std::nullopt;
    }
    return SqliteDatabase(db);
}

std::string SqliteDatabase::immutableUri(const std::filesystem::path& file) {
    return "file:" + uriPath(file.string()) + "?immutable=1";
}

std::optional<SqliteDatabase> SqliteDatabase::copyToMemory(std::string* error) const {
    sqlite3* copy = nullptr;
    int rc = sqlite3_open_v2(":memory:", &copy,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_EXRESCODE,
                             nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_backup* backup = sqlite3_backup_init(copy, "main", db_, "main");
        rc = backup ? sqlite3_backup_step(backup, -1) : sqlite3_errcode(copy);
        const int finished = sqlite3_backup_finish(backup);
        if (rc == SQLITE_DONE)
            rc = finished;
    }
    if (rc != SQLITE_OK) {
        if (error)
            *error = copy ? sqlite3_errmsg(copy) : "out of memory";
        sqlite3_close_v2(copy);
        return std::nullopt;
    }
    return SqliteDatabase(copy);
}

SqliteStatement SqliteDatabase::prepare(std::string_view sql) const {
    return SqliteStatement(db_, sql);
}

bool SqliteDatabase::exec(std::string_view sql) const {
    const std::string text(sql);
    return sqlite3_exec(db_, text.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

std::optional<std::int64_t> SqliteDatabase::queryInteger(std::string_view sql) const {
    SqliteStatement s = prepare(sql);
    if (!s || s.step() != SqliteStatement::Step::row)
        return std::nullopt;
    const auto value = s.integer(0);
    s.reset();
    return value;
}

void SqliteDatabase::setBusyTimeout(int milliseconds) const {
    sqlite3_busy_timeout(db_, milliseconds);
}

std::string SqliteDatabase::lastError() const {
    return db_ ? sqlite3_errmsg(db_) : "no database";
}

int SqliteDatabase::lastCode() const {
    return db_ ? sqlite3_extended_errcode(db_) : SQLITE_MISUSE;
}

bool SqliteDatabase::isCorruption(int code) {
    const int primary = code & 0xff;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

} // namespace vellumkite
