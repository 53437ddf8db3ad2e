#include "HistoryDatabase.hpp"

#include "AtomicFile.hpp"
#include "PriceTable.hpp"
#include "PromptBands.hpp"
#include "SqlText.hpp"
#include "Timestamp.hpp"
#include "UniqueFd.hpp"
#include "UserFolders.hpp"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace vellumkite {

namespace {

// Reply times are microseconds since 1970 (UTC); names of chats, projects and models are kept
// once each and referred to by number, which keeps the file small.
constexpr const char* kSchema = R"sql(
CREATE TABLE names(
    id INTEGER PRIMARY KEY,
    text TEXT NOT NULL UNIQUE
) STRICT;
CREATE TABLE replies(
    key TEXT PRIMARY KEY,
    time INTEGER NOT NULL,
    @REPLY_COLUMNS@
) STRICT, WITHOUT ROWID;
-- Covers every report's query, so that a report reads this index alone.
CREATE INDEX replies_by_time ON replies(time, model, session, project, input, output,
                                        cache_write, cache_write_1h, cache_read);
-- Sums per quarter hour (from 1970, UTC) and model, kept by triggers as replies come and grow,
-- so that reports by day, week, month and model read a few rows per day instead of every reply.
CREATE TABLE quarters(
    quarter INTEGER NOT NULL,
    model INTEGER NOT NULL REFERENCES names(id),
    input INTEGER NOT NULL,
    output INTEGER NOT NULL,
    cache_write INTEGER NOT NULL,
    cache_write_1h INTEGER NOT NULL,
    cache_read INTEGER NOT NULL,
    replies INTEGER NOT NULL,
    PRIMARY KEY (quarter, model)
) STRICT, WITHOUT ROWID;
CREATE TRIGGER reply_added AFTER INSERT ON replies BEGIN
    INSERT INTO quarters
    VALUES (new.time / 900000000, new.model, new.input, new.output, new.cache_write,
            new.cache_write_1h, new.cache_read, 1)
    ON CONFLICT(quarter, model) DO UPDATE SET
        input = input + excluded.input,
        output = output + excluded.output,
        cache_write = cache_write + excluded.cache_write,
        cache_write_1h = cache_write_1h + excluded.cache_write_1h,
        cache_read = cache_read + excluded.cache_read,
        replies = replies + 1;
END;
-- A reply's time and model never change; its counts only grow.
CREATE TRIGGER reply_grown AFTER UPDATE ON replies BEGIN
    UPDATE quarters SET
        input = input + new.input - old.input,
        output = output + new.output - old.output,
        cache_write = cache_write + new.cache_write - old.cache_write,
        cache_write_1h = cache_write_1h + new.cache_write_1h - old.cache_write_1h,
        cache_read = cache_read + new.cache_read - old.cache_read
    WHERE quarter = old.time / 900000000 AND model = old.model;
END;
CREATE TABLE results(
    call_id TEXT PRIMARY KEY,
    time INTEGER NOT NULL,
    session INTEGER NOT NULL REFERENCES names(id),
    category TEXT,
    tokens INTEGER NOT NULL
) STRICT, WITHOUT ROWID;
CREATE TABLE calls(
    call_id TEXT PRIMARY KEY,
    category TEXT NOT NULL
) STRICT, WITHOUT ROWID;
CREATE TABLE logs(
    path TEXT PRIMARY KEY,
    offset INTEGER NOT NULL,
    device INTEGER NOT NULL,
    inode INTEGER NOT NULL,
    print INTEGER NOT NULL,
    size INTEGER NOT NULL,
    modified INTEGER NOT NULL
) STRICT, WITHOUT ROWID;
)sql";

// Version 2: what a reply's price also depends on (fast mode, US-only inference, web searches)
// and the sums kept per price class (see PromptBands). The index covers every report's query
// again.
constexpr const char* kVersion2 = R"sql(
ALTER TABLE replies ADD COLUMN fast INTEGER NOT NULL DEFAULT 0;
ALTER TABLE replies ADD COLUMN us_only INTEGER NOT NULL DEFAULT 0;
ALTER TABLE replies ADD COLUMN web_searches INTEGER NOT NULL DEFAULT 0;
DROP INDEX replies_by_time;
CREATE INDEX replies_by_time ON replies(time, model, session, project, input, output,
                                        cache_write, cache_write_1h, cache_read, fast, us_only,
                                        web_searches);
DROP TRIGGER reply_added;
DROP TRIGGER reply_grown;
DROP TABLE quarters;
CREATE TABLE quarters(
    quarter INTEGER NOT NULL,
    @CLASS_SUMS@,
    PRIMARY KEY (quarter, model, fast, us_only, prompt_floor)
) STRICT, WITHOUT ROWID;
CREATE TABLE bands(
    tokens INTEGER PRIMARY KEY
) STRICT;
)sql";

// Version 4: the other machines' histories, taken in from the files they publish in a folder
// the user syncs, kept apart from this machine's own rows. Each reply of another machine is kept
// under that machine; `counted` marks the one copy that counts across machines: none while this
// machine has the reply, else that of the machine known longest. Their sums (kept by triggers,
// see PromptBands) are kept per machine, and over the counted copies alone.
constexpr const char* kVersion4 = R"sql(
CREATE TABLE machines(
    id INTEGER PRIMARY KEY,
    uuid TEXT NOT NULL UNIQUE,
    name TEXT NOT NULL,
    published INTEGER,
    file_size INTEGER NOT NULL DEFAULT -1,
    file_modified INTEGER NOT NULL DEFAULT -1,
    taken INTEGER,
    replies INTEGER NOT NULL DEFAULT 0,
    problem TEXT,
    forgotten INTEGER NOT NULL DEFAULT 0
) STRICT;
-- By machine, then time: a machine is taken in and forgotten as a whole, and every other
-- question is about a stretch of time.
CREATE TABLE peer_replies(
    machine INTEGER NOT NULL REFERENCES machines(id),
    time INTEGER NOT NULL,
    key TEXT NOT NULL,
    @REPLY_COLUMNS@,
    fast INTEGER NOT NULL,
    us_only INTEGER NOT NULL,
    web_searches INTEGER NOT NULL,
    counted INTEGER NOT NULL,
    PRIMARY KEY (machine, time, key)
) STRICT, WITHOUT ROWID;
CREATE UNIQUE INDEX peer_replies_by_key ON peer_replies(key, machine);
-- The official limit readings the other machines kept: one account's limits, read on each.
CREATE TABLE peer_readings(
    machine INTEGER NOT NULL REFERENCES machines(id),
    window INTEGER NOT NULL REFERENCES names(id),
    @READING_COLUMNS@,
    PRIMARY KEY (time, window, machine)
) STRICT, WITHOUT ROWID;
CREATE TABLE peer_results(
    machine INTEGER NOT NULL REFERENCES machines(id),
    call_id TEXT NOT NULL,
    time INTEGER NOT NULL,
    session INTEGER NOT NULL REFERENCES names(id),
    category TEXT,
    tokens INTEGER NOT NULL,
    PRIMARY KEY (machine, call_id)
) STRICT, WITHOUT ROWID;
CREATE TABLE machine_quarters(
    machine INTEGER NOT NULL REFERENCES machines(id),
    quarter INTEGER NOT NULL,
    @CLASS_SUMS@,
    PRIMARY KEY (machine, quarter, model, fast, us_only, prompt_floor)
) STRICT, WITHOUT ROWID;
CREATE TABLE peer_quarters(
    quarter INTEGER NOT NULL,
    @CLASS_SUMS@,
    PRIMARY KEY (quarter, model, fast, us_only, prompt_floor)
) STRICT, WITHOUT ROWID;
-- Usage per local day (days since 1970 in the zone named), UTC day (which price period applies),
-- model and price class, over every machine: what reports over long stretches read. Kept for
-- the few zones in use, and worked out again from the quarter-hour sums from `dirty_from`, the
-- first quarter hour whose sums changed since (see DaySums).
CREATE TABLE day_sums(
    zone TEXT NOT NULL,
    day INTEGER NOT NULL,
    utc_day INTEGER NOT NULL,
    @CLASS_SUMS@,
    PRIMARY KEY (zone, day, utc_day, model, fast, us_only, prompt_floor)
) STRICT, WITHOUT ROWID;
CREATE TABLE day_zones(
    zone TEXT PRIMARY KEY,
    dirty_from INTEGER NOT NULL,
    used INTEGER NOT NULL
) STRICT, WITHOUT ROWID;
-- This machine's own file as last published, to tell whether there is anything new to publish.
CREATE TABLE published(
    file TEXT PRIMARY KEY,
    state TEXT NOT NULL,
    size INTEGER NOT NULL,
    modified INTEGER NOT NULL,
    at INTEGER NOT NULL
) STRICT, WITHOUT ROWID;
)sql";

// Version 1 gave a reply without a message id a random key; reading its log again would count
// it a second time. Such rows get the key the parser now gives them, and rows that turn out to
// be lines of one reply are merged as a reply's lines are.
bool rekeyRandomKeys(const SqliteDatabase& db) {
    const auto hex = [](int digits) {
        std::string out;
        for (int i = 0; i < digits; ++i)
            out += "[0-9a-f]";
        return out;
    };
    const std::string uuid = hex(8) + '-' + hex(4) + '-' + hex(4) + '-' + hex(4) + '-' + hex(12);
    auto s = db.prepare("SELECT r.key, r.time, s.text, r.input, r.cache_read, r.cache_write, "
                        "r.output FROM replies r JOIN names s ON s.id = r.session "
                        "WHERE r.key GLOB '" +
                        uuid + ":*'");
    std::vector<std::pair<std::string, std::string>> keys; // old, new
    SqliteStatement::Step step;
    while ((step = s.step()) == SqliteStatement::Step::row) {
        const std::string old = s.text(0);
        std::string key = "-:" + old.substr(37);
        if (old.size() == 37) {
            key = "-:" + s.text(2) + '@' +
                  Timestamp::format(Instant{std::chrono::microseconds(s.integer(1))});
            for (const int column : {3, 4, 5, 6})
                key += '/' + std::to_string(s.integer(column));
        }
        keys.emplace_back(old, std::move(key));
    }
    if (step != SqliteStatement::Step::done)
        return false;
    auto move = db.prepare(R"sql(
INSERT INTO replies
SELECT ?2, time, session, project, model, input, cache_read, cache_write, cache_write_1h, output,
       fast, us_only, web_searches
FROM replies WHERE key = ?1
ON CONFLICT(key) DO UPDATE SET
    input = max(input, excluded.input),
    cache_read = max(cache_read, excluded.cache_read),
    cache_write = max(cache_write, excluded.cache_write),
    cache_write_1h = max(cache_write_1h, excluded.cache_write_1h),
    output = max(output, excluded.output))sql");
    auto drop = db.prepare("DELETE FROM replies WHERE key = ?1");
    for (const auto& [old, key] : keys) {
        move.bind(1, std::string_view(old)).bind(2, std::string_view(key));
        drop.bind(1, std::string_view(old));
        if (!move.run() || !drop.run())
            return false;
    }
    return true;
}

bool toVersion2(const SqliteDatabase& db) {
    std::vector<std::int64_t> bands = PriceTable::builtIn().thresholds();
    bool ok = db.exec(SqlText::withCounts(kVersion2)) && rekeyRandomKeys(db);
    for (const auto t : bands)
        ok = ok && db.exec("INSERT INTO bands VALUES (" + std::to_string(t) + ")");
    // Every log still there is read again from its start, for what older rows do not know:
    // merged as a reply's lines are, nothing is counted twice.
    return ok && PromptBands::rebuild(db, bands) && db.exec("DELETE FROM logs") &&
           db.exec("PRAGMA user_version = 2");
}

// Version 3: every official limit reading the status line kept: the time it was read (in
// microseconds since 1970, like a reply's; first in the key, since every question is about a
// stretch of time) and the window's name (in names). Added whatever version came before.
constexpr const char* kReadings = R"sql(
CREATE TABLE IF NOT EXISTS readings(
    window INTEGER NOT NULL REFERENCES names(id),
    @READING_COLUMNS@,
    PRIMARY KEY (time, window)
) STRICT, WITHOUT ROWID;
)sql";

bool toVersion4(const SqliteDatabase& db) {
    const auto bands = PromptBands::read(db);
    return bands && db.exec(SqlText::withCounts(kVersion4)) &&
           PromptBands::makeTriggers(db, *bands) && db.exec("PRAGMA user_version = 4");
}

std::string stampNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
    return text;
}

bool isDamaged(const SqliteDatabase& db, bool check) {
    // Reading the header is enough to tell a file that is no database at all.
    if (!db.queryInteger("PRAGMA user_version"))
        return SqliteDatabase::isCorruption(db.lastCode());
    if (!check)
        return false;
    auto s = db.prepare("PRAGMA quick_check");
    if (!s || s.step() != SqliteStatement::Step::row)
        return SqliteDatabase::isCorruption(s.lastCode()) ||
               SqliteDatabase::isCorruption(db.lastCode());
    const bool ok = s.text(0) == "ok";
    s.reset();
    return !ok;
}

// Brings the schema up to date inside one write transaction, so that two programs starting at
// once cannot both create it.
HistoryDatabase::Status migrate(const SqliteDatabase& db, std::string& message) {
    if (!db.exec("BEGIN IMMEDIATE")) {
        message = "history: cannot open the database: " + db.lastError();
        return HistoryDatabase::Status::unavailable;
    }
    const auto version = db.queryInteger("PRAGMA user_version").value_or(-1);
    if (version > HistoryDatabase::kVersion) {
        (void)db.exec("ROLLBACK");
        message = "history: the database was written by a newer version of Vellumkite; history "
                  "is off until that version runs again";
        return HistoryDatabase::Status::newer;
    }
    bool ok = version >= 0;
    if (ok && version < 1)
        ok = db.exec(HistoryDatabase::firstSchema()) && db.exec("PRAGMA user_version = 1");
    if (ok && version < 2)
        ok = toVersion2(db);
    if (ok && version < 3)
        ok = db.exec(SqlText::withCounts(kReadings)) && db.exec("PRAGMA user_version = 3");
    if (ok && version < 4)
        ok = toVersion4(db);
    // Later versions add their steps here, each from the one before.
    if (!ok || !db.exec("COMMIT")) {
        message = "history: cannot set up the database: " + db.lastError();
        (void)db.exec("ROLLBACK");
        return HistoryDatabase::Status::unavailable;
    }
    return HistoryDatabase::Status::ready;
}

// The file and its journal files made the user's alone; the line that says so.
std::string makePrivate(const std::filesystem::path& file, unsigned mode) {
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
        const std::string name = file.string() + suffix;
        const UniqueFd fd(::open(name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
        struct stat st {};
        if (fd && ::fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid())
            (void)::fchmod(fd.get(), st.st_mode & 0700);
    }
    const auto octal = [](unsigned m) {
        char text[16];
        std::snprintf(text, sizeof text, "%04o", m & 07777);
        return std::string(text);
    };
    return "history: " + file.string() + " could be read by others (mode " + octal(mode) +
           "); it is now yours alone (" + octal(mode & 0700) + ")";
}

} // namespace

std::string HistoryDatabase::firstSchema() {
    return SqlText::withCounts(kSchema);
}

std::filesystem::path HistoryDatabase::defaultFile() {
    const auto folder = UserFolders::appData();
    return folder.empty() ? folder : folder / "history.sqlite3";
}

bool HistoryDatabase::damaged(const SqliteDatabase& db) {
    return isDamaged(db, true);
}

std::optional<SqliteDatabase> HistoryDatabase::openToRead(const std::filesystem::path& file,
                                                          std::string* error) {
    if (const auto kind = inspect(file).kind;
        kind != Place::Kind::writable && kind != Place::Kind::readOnly)
        return std::nullopt;
    // While a program writes it, part of what it has committed is in the journal beside it.
    std::error_code ec;
    const bool written = std::filesystem::exists(file.string() + "-wal", ec) &&
                         std::filesystem::exists(file.string() + "-shm", ec);
    auto db = SqliteDatabase::open(
        file, written ? SqliteDatabase::Mode::readAlongside : SqliteDatabase::Mode::readOnly,
        error);
    if (db)
        db->setBusyTimeout(kBusyMilliseconds);
    return db;
}

std::string HistoryDatabase::setAside(const std::filesystem::path& file) {
    std::filesystem::path aside = file;
    aside += ".corrupt-" + stampNow();
    std::error_code ec;
    std::filesystem::rename(file, aside, ec);
    for (const char* journal : {"-wal", "-shm", "-journal"}) {
        std::filesystem::path from = file, to = aside;
        from += journal;
        to += journal;
        std::filesystem::rename(from, to, ec);
    }
    return "history: the database was damaged; it was set aside as " + aside.filename().string() +
           " and is being rebuilt from the logs";
}

HistoryDatabase::Place HistoryDatabase::inspect(const std::filesystem::path& file) {
    Place out;
    struct stat st {};
    if (::lstat(file.c_str(), &st) != 0)
        return out;
    out.mode = st.st_mode & 07777;
    const auto notAFile = [&](const char* problem, const char* fix) {
        out.kind = Place::Kind::notAFile;
        out.problem = problem;
        out.fix = fix;
        return out;
    };
    if (S_ISLNK(st.st_mode))
        return notAFile("is a symbolic link, which the history is never written through",
                        "Put the history's own file in its place, or remove the link to begin "
                        "a new history.");
    if (S_ISDIR(st.st_mode))
        return notAFile("is a folder, not the history's file",
                        "Move the folder away to begin a new history.");
    if (!S_ISREG(st.st_mode))
        return notAFile("is not a regular file", "Remove it to begin a new history.");
    out.kind = Place::Kind::readOnly;
    // Never written as another user: the journal files beside it would be ours, and lock its
    // owner out of it.
    if (st.st_uid != ::geteuid()) {
        out.problem = "belongs to another user (uid " + std::to_string(st.st_uid) + ")";
        out.fix = "Give it back to yourself (chown), or run Vellumkite as that user.";
        return out;
    }
    // The mode, not only access(): as root access() allows everything but a read-only disk.
    const bool writable =
        (st.st_mode & S_IWUSR) != 0 && ::faccessat(AT_FDCWD, file.c_str(), W_OK, AT_EACCESS) == 0;
    if (!writable) {
        const bool disk = (st.st_mode & S_IWUSR) != 0 && errno == EROFS;
        out.problem = disk ? "is on a read-only file system" : "is read-only";
        out.fix = disk ? "Mount it writable, or move the history elsewhere."
                       : "Make it writable (chmod u+w " + file.string() + ").";
        return out;
    }
    const auto folder = file.parent_path();
    if (::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0) {
        out.problem = "is in a folder that cannot be written (" + folder.string() + ")";
        out.fix = "Make the folder writable (chmod u+w " + folder.string() + ").";
        return out;
    }
    out.kind = Place::Kind::writable;
    return out;
}

HistoryDatabase::Opened HistoryDatabase::open(const std::filesystem::path& file, bool check) {
    Opened out;
    if (file.empty() || !AtomicFile::makeFolders(file.parent_path())) {
        out.message = "history: cannot create the folder for " + file.string();
        return out;
    }
    const Place place = inspect(file);
    if (place.kind == Place::Kind::readOnly || place.kind == Place::Kind::notAFile) {
        out.status = place.kind == Place::Kind::readOnly ? Status::readOnly : Status::unavailable;
        out.message = "history: " + file.string() + " " + place.problem +
                      "; it was left as it is. " + place.fix;
        return out;
    }
    const std::string madePrivate = place.kind == Place::Kind::writable && (place.mode & 077)
                                        ? makePrivate(file, place.mode)
                                        : "";
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::string error;
        auto db = SqliteDatabase::open(file, SqliteDatabase::Mode::create, &error);
        if (!db) {
            // Not read, so not known to be damaged: left as it is.
            out.message = "history: cannot open " + file.string() + ": " + error;
            return out;
        }
        db->setBusyTimeout(kBusyMilliseconds);
        if (!isDamaged(*db, check)) {
            // WAL: readers never wait for the writer, and a killed writer loses only its own
            // unfinished transaction.
            (void)db->exec("PRAGMA journal_mode=WAL");
            (void)db->exec("PRAGMA synchronous=NORMAL");
            out.status = migrate(*db, out.message);
            if (out.status == Status::ready) {
                if (attempt > 0)
                    out.status = Status::rebuilt;
                else
                    out.message = madePrivate;
                out.db = std::move(db);
            }
            return out;
        }
        db.reset();
        out.message = setAside(file);
    }
    return out;
}

HistoryDatabase::Opened HistoryDatabase::openCopy(const std::filesystem::path& file) {
    Opened out;
    std::string error;
    auto source = SqliteDatabase::open(file, SqliteDatabase::Mode::readOnly, &error);
    std::optional<SqliteDatabase> db;
    if (source && isDamaged(*source, false)) {
        out.message =
            "history: " + file.string() + " is damaged, and cannot be set aside where it is";
        return out;
    }
    if (source)
        db = source->copyToMemory(&error);
    if (!db) {
        out.message = "history: cannot read " + file.string() + ": " + error;
        return out;
    }
    out.status = migrate(*db, out.message);
    if (out.status == Status::ready)
        out.db = std::move(db);
    return out;
}

} // namespace vellumkite
