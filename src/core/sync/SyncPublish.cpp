#include "SyncPublish.hpp"

#include "FileTime.hpp"
#include "SyncFile.hpp"
#include "SyncFolder.hpp"
#include "UniqueFd.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vellumkite {

namespace {

std::int64_t micros(Instant t) {
    return t.time_since_epoch().count();
}

// What this machine's rows depend on: every log's read position moves when anything is read
// from it, the readings only grow, and the name is in the file.
std::optional<std::string> stateOf(const SqliteDatabase& db, const MachineIdentity& me) {
    auto s = db.prepare("SELECT count(*), total(offset), total(inode), (SELECT count(*) || '/' || "
                        "coalesce(max(time), 0) FROM readings) FROM logs");
    if (s.step() != SqliteStatement::Step::row)
        return std::nullopt;
    std::string out = std::to_string(SyncFile::kFormat) + "|" + std::to_string(s.integer(0)) + "|" +
                      std::to_string(s.real(1)) + "|" + std::to_string(s.real(2)) + "|" +
                      s.text(3) + "|" + me.name;
    s.reset();
    return out;
}

bool unchanged(const SqliteDatabase& db, const std::filesystem::path& file,
               const std::string& state) {
    struct stat st {};
    if (::lstat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    auto s = db.prepare("SELECT 1 FROM published WHERE file = ?1 AND state = ?2 AND size = ?3 "
                        "AND modified = ?4");
    s.bind(1, std::string_view(file.string()))
        .bind(2, std::string_view(state))
        .bind(3, static_cast<std::int64_t>(st.st_size))
        .bind(4, micros(modificationTime(st)));
    const bool same = s.step() == SqliteStatement::Step::row;
    s.reset();
    return same;
}

// Temporary files of ours that a kill left behind; one still being written by the other
// program is younger than that.
void tidy(const std::filesystem::path& folder, const std::string& machineId, Instant now) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    while (const dirent* entry = ::readdir(dir)) {
        struct stat st {};
        if (SyncFolder::isTemporaryOf(entry->d_name, machineId) &&
            ::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
            secondsBetween(modificationTime(st), now) > SyncPublish::kStaleSeconds)
            (void)::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::closedir(dir);
}

// This machine's rows into the attached database `pub`, in one read of the history.
bool copyOwnRows(const SqliteDatabase& db, const MachineIdentity& me, Instant now) {
    if (!db.exec("BEGIN"))
        return false;
    auto machine = db.prepare("INSERT INTO pub.machine VALUES (?1, ?2, ?3)");
    machine.bind(1, std::string_view(me.id))
        .bind(2, std::string_view(me.name))
        .bind(3, micros(now));
    const bool ok = machine.run() && db.exec(R"sql(
INSERT INTO pub.replies SELECT * FROM main.replies;
INSERT INTO pub.results SELECT * FROM main.results;
-- Only the names its rows use: never another machine's chats or projects.
INSERT INTO pub.names
SELECT id, text FROM main.names
WHERE id IN (SELECT session FROM pub.replies) OR id IN (SELECT project FROM pub.replies)
      OR id IN (SELECT model FROM pub.replies) OR id IN (SELECT session FROM pub.results);
INSERT INTO pub.quarter_sums
SELECT quarter, sum(replies), sum(input), sum(output), sum(cache_write), sum(cache_write_1h),
       sum(cache_read), sum(web_searches), sum(fast * replies), sum(us_only * replies)
FROM main.quarters GROUP BY quarter;
INSERT INTO pub.readings
SELECT n.text, r.time, r.percent, r.resets_at FROM main.readings r JOIN main.names n ON n.id = r.window;
)sql");
    return db.exec(ok ? "COMMIT" : "ROLLBACK") && ok;
}

std::string quoted(const std::string& text) {
    std::string out = "'";
    for (const char c : text)
        out += c == '\'' ? std::string("''") : std::string(1, c);
    return out + "'";
}

SyncPublish::Outcome failed(std::string why) {
    return {SyncPublish::Status::failed, std::move(why)};
}

} // namespace

SyncPublish::Outcome SyncPublish::run(const SqliteDatabase& db, const MachineIdentity& me,
                                      const std::filesystem::path& folder, Instant now,
                                      bool always) {
    if (const auto problem = SyncFolder::problem(folder))
        return failed("sync: the folder " + folder.string() + " " + *problem +
                      "; this machine's history was not published");
    const auto file = folder / SyncFolder::fileName(me.id);
    const auto state = stateOf(db, me);
    if (!state)
        return failed("sync: the history could not be read: " + db.lastError());
    if (!always && unchanged(db, file, *state))
        return {Status::unchanged, ""};
    tidy(folder, me.id, now);

    const auto temporary = folder / SyncFolder::temporaryName(me.id);
    const auto cannotWrite = [&](const std::string& why) {
        (void)::unlink(temporary.c_str());
        return failed("sync: cannot write " + temporary.string() + ": " + why);
    };
    {
        // Made first, the user's alone: VACUUM INTO writes into an empty file as it finds it.
        const UniqueFd fd(
            ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!fd)
            return failed("sync: cannot write in " + folder.string() + ": " + std::strerror(errno));
    }
    // A database of this machine's rows alone, kept in memory while it is made.
    bool ok = db.exec("ATTACH ':memory:' AS pub");
    if (!ok)
        return cannotWrite(db.lastError());
    ok = db.exec(SyncFile::schema("pub")) &&
         db.exec("PRAGMA pub.application_id = " + std::to_string(SyncFile::kApplicationId) +
                 "; PRAGMA pub.user_version = " + std::to_string(SyncFile::kFormat)) &&
         copyOwnRows(db, me, now) && db.exec("VACUUM pub INTO " + quoted(temporary.string()));
    const std::string error = db.lastError();
    (void)db.exec("DETACH pub");
    if (!ok)
        return cannotWrite(error);

    struct stat st {};
    {
        const UniqueFd fd(::open(temporary.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC));
        if (!fd || ::fchmod(fd.get(), 0600) != 0 || ::fsync(fd.get()) != 0 ||
            ::fstat(fd.get(), &st) != 0)
            return cannotWrite(std::strerror(errno));
    }
    if (::rename(temporary.c_str(), file.c_str()) != 0)
        return cannotWrite(std::strerror(errno));
    if (const UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)); dir)
        (void)::fsync(dir.get());

    // Should this not be noted (the other program writing), the next call publishes again.
    auto note = db.prepare("INSERT OR REPLACE INTO published VALUES (?1, ?2, ?3, ?4, ?5)");
    note.bind(1, std::string_view(file.string()))
        .bind(2, std::string_view(*state))
        .bind(3, static_cast<std::int64_t>(st.st_size))
        .bind(4, micros(modificationTime(st)))
        .bind(5, micros(now));
    if (db.exec("BEGIN IMMEDIATE")) {
        const bool noted = db.exec("DELETE FROM published") && note.run();
        (void)db.exec(noted ? "COMMIT" : "ROLLBACK");
    }
    return {Status::published, ""};
}

} // namespace vellumkite
