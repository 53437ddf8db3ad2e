#include "SyncFile.hpp"

#include "MachineIdentity.hpp"
#include "SqlText.hpp"
#include "UniqueFd.hpp"

#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vellumkite {

namespace {

// Each name is kept once, like the history's; sums per quarter hour (from 1970, UTC) of every
// count and of the fast and US-only replies; the official limit readings it kept, by window name.
// The replies and results are the history's own tables column for column (defaults too), so that
// SQLite copies them whole, record by record.
constexpr const char* kSchema = R"sql(
CREATE TABLE @.machine(
    id TEXT NOT NULL,
    name TEXT NOT NULL,
    published INTEGER NOT NULL
) STRICT;
CREATE TABLE @.names(
    id INTEGER PRIMARY KEY,
    text TEXT NOT NULL
) STRICT;
CREATE TABLE @.replies(
    key TEXT PRIMARY KEY,
    time INTEGER NOT NULL,
    session INTEGER NOT NULL,
    project INTEGER NOT NULL,
    model INTEGER NOT NULL,
    input INTEGER NOT NULL,
    cache_read INTEGER NOT NULL,
    cache_write INTEGER NOT NULL,
    cache_write_1h INTEGER NOT NULL,
    output INTEGER NOT NULL,
    fast INTEGER NOT NULL DEFAULT 0,
    us_only INTEGER NOT NULL DEFAULT 0,
    web_searches INTEGER NOT NULL DEFAULT 0
) STRICT, WITHOUT ROWID;
CREATE TABLE @.results(
    call_id TEXT PRIMARY KEY,
    time INTEGER NOT NULL,
    session INTEGER NOT NULL,
    category TEXT,
    tokens INTEGER NOT NULL
) STRICT, WITHOUT ROWID;
CREATE TABLE @.quarter_sums(
    quarter INTEGER PRIMARY KEY,
    replies INTEGER NOT NULL,
    input INTEGER NOT NULL,
    output INTEGER NOT NULL,
    cache_write INTEGER NOT NULL,
    cache_write_1h INTEGER NOT NULL,
    cache_read INTEGER NOT NULL,
    web_searches INTEGER NOT NULL,
    fast INTEGER NOT NULL,
    us_only INTEGER NOT NULL
) STRICT;
CREATE TABLE @.readings(
    window TEXT NOT NULL,
    @READING_COLUMNS@,
    PRIMARY KEY (time, window)
) STRICT, WITHOUT ROWID;
)sql";

std::uint32_t bigEndian(const unsigned char* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           std::uint32_t{p[3]};
}

} // namespace

std::string SyncFile::schema(const std::string& schema) {
    return SqlText::withCounts(SqlText::replace(kSchema, "@.", schema + "."));
}

std::optional<std::string> SyncFile::headerProblem(const std::filesystem::path& file) {
    const UniqueFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat st {};
    if (!fd || ::fstat(fd.get(), &st) != 0)
        return std::string(std::strerror(errno));
    unsigned char header[100];
    if (::pread(fd.get(), header, sizeof header, 0) != static_cast<ssize_t>(sizeof header) ||
        std::memcmp(header, "SQLite format 3", 16) != 0)
        return std::string("not a database");
    // The page size (1 stands for 65536) and, when the header's count is current, the pages.
    std::uint32_t page = (std::uint32_t{header[16]} << 8) | header[17];
    if (page == 1)
        page = 65536;
    const std::uint32_t pages = bigEndian(header + 28);
    if (bigEndian(header + 24) == bigEndian(header + 92) && pages > 0 &&
        static_cast<std::uint64_t>(st.st_size) < std::uint64_t{pages} * page)
        return std::string("cut short");
    return std::nullopt;
}

std::optional<std::string> SyncFile::problem(const SqliteDatabase& db, const std::string& schema,
                                             const std::string& machineId, Machine& machine) {
    const auto application = db.queryInteger("PRAGMA " + schema + ".application_id");
    if (!application)
        return SqliteDatabase::isCorruption(db.lastCode()) ? "damaged" : db.lastError();
    if (*application != kApplicationId)
        return std::string("not a file of Vellumkite's");
    const auto format = db.queryInteger("PRAGMA " + schema + ".user_version").value_or(0);
    if (format > kFormat)
        return std::string("written by a newer version of Vellumkite");
    if (format < 1)
        return std::string("not a file of Vellumkite's");
    auto check = db.prepare("PRAGMA " + schema + ".quick_check");
    if (check.step() != SqliteStatement::Step::row || check.text(0) != "ok")
        return std::string("damaged");
    check.reset();
    auto s = db.prepare("SELECT id, name, published FROM " + schema + ".machine");
    if (!s || s.step() != SqliteStatement::Step::row)
        return std::string("damaged (it names no machine)");
    machine = {s.text(0), MachineIdentity::cleanName(s.text(1)),
               Instant{std::chrono::microseconds(s.integer(2))}};
    const bool more = s.step() == SqliteStatement::Step::row;
    s.reset();
    if (more || machine.id != machineId)
        return std::string("its content names another machine than its file name");
    if (machine.name.empty())
        machine.name = machineId.substr(0, 8);
    return std::nullopt;
}

} // namespace vellumkite
