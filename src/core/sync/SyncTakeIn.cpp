#include "SyncTakeIn.hpp"

#include "SyncFile.hpp"

namespace vellumkite {

namespace {

std::int64_t micros(Instant t) {
    return t.time_since_epoch().count();
}

// The quarter hours (from 1970, UTC) whose sums in the file differ from what was taken in from
// it: only their replies are read again. Everything, the first time.
constexpr const char* kChanged = R"sql(
CREATE TEMP TABLE IF NOT EXISTS sync_names(theirs INTEGER PRIMARY KEY, ours INTEGER NOT NULL);
CREATE TEMP TABLE IF NOT EXISTS sync_changed(quarter INTEGER PRIMARY KEY);
DELETE FROM temp.sync_names;
DELETE FROM temp.sync_changed;
INSERT INTO main.names(text) SELECT text FROM peer.names WHERE true ON CONFLICT(text) DO NOTHING;
INSERT INTO temp.sync_names SELECT p.id, n.id FROM peer.names p JOIN main.names n ON n.text = p.text;
INSERT INTO temp.sync_changed
SELECT quarter FROM (
    SELECT quarter, replies, input, output, cache_write, cache_write_1h, cache_read, web_searches,
           fast, us_only
    FROM peer.quarter_sums
    EXCEPT
    SELECT quarter, sum(replies), sum(input), sum(output), sum(cache_write), sum(cache_write_1h),
           sum(cache_read), sum(web_searches), sum(fast * replies), sum(us_only * replies)
    FROM main.machine_quarters WHERE machine = @M@ GROUP BY quarter);
)sql";

// A reply counts here unless this machine has it, or a machine known longer does. Counts are
// capped as the history caps its own, so that no sum can overflow; a reply known before keeps
// its largest counts, as a reply's lines do.
constexpr const char* kReplies = R"sql(
INSERT INTO peer_replies(machine, time, key, session, project, model, input, cache_read,
                         cache_write, cache_write_1h, output, fast, us_only, web_searches, counted)
SELECT @M@, r.time, r.key, s.ours, p.ours, m.ours, min(max(r.input, 0), 1099511627776),
       min(max(r.cache_read, 0), 1099511627776), min(max(r.cache_write, 0), 1099511627776),
       min(max(r.cache_write_1h, 0), 1099511627776), min(max(r.output, 0), 1099511627776),
       r.fast <> 0, r.us_only <> 0, min(max(r.web_searches, 0), 1099511627776),
       NOT EXISTS (SELECT 1 FROM main.replies l WHERE l.key = r.key)
       AND NOT EXISTS (SELECT 1 FROM peer_replies o WHERE o.key = r.key AND o.machine < @M@)
FROM peer.replies r
JOIN temp.sync_names s ON s.theirs = r.session
JOIN temp.sync_names p ON p.theirs = r.project
JOIN temp.sync_names m ON m.theirs = r.model
WHERE r.time / 900000000 IN (SELECT quarter FROM temp.sync_changed)
ON CONFLICT(key, machine) DO UPDATE SET
    input = max(input, excluded.input),
    cache_read = max(cache_read, excluded.cache_read),
    cache_write = max(cache_write, excluded.cache_write),
    cache_write_1h = max(cache_write_1h, excluded.cache_write_1h),
    output = max(output, excluded.output),
    fast = max(fast, excluded.fast),
    us_only = max(us_only, excluded.us_only),
    web_searches = max(web_searches, excluded.web_searches)
WHERE excluded.input > input OR excluded.cache_read > cache_read
      OR excluded.cache_write > cache_write OR excluded.cache_write_1h > cache_write_1h
      OR excluded.output > output OR excluded.fast > fast OR excluded.us_only > us_only
      OR excluded.web_searches > web_searches;
)sql";

// Tool results of the quarters read again, and of those after the last one taken in before (a
// result may come before its reply's quarter changes). The file's word is the latest.
constexpr const char* kResults = R"sql(
INSERT INTO peer_results(machine, call_id, time, session, category, tokens)
SELECT @M@, x.call_id, x.time, s.ours, x.category, min(max(x.tokens, 0), 1099511627776)
FROM peer.results x JOIN temp.sync_names s ON s.theirs = x.session
WHERE x.time >= @SINCE@ OR x.time / 900000000 IN (SELECT quarter FROM temp.sync_changed)
ON CONFLICT(machine, call_id) DO UPDATE SET
    time = excluded.time,
    session = excluded.session,
    category = coalesce(excluded.category, category),
    tokens = excluded.tokens
WHERE excluded.time <> time OR excluded.session <> session OR excluded.tokens <> tokens
      OR excluded.category IS NOT category;
)sql";

std::string replace(std::string text, std::string_view from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// The file as last seen, and why it could not be taken in, so that it is not tried again until
// it changes. A machine seen only in such a file is listed under the start of its id.
void noteProblem(const SqliteDatabase& db, const SyncFolder::File& file, const std::string& why) {
    auto s = db.prepare(R"sql(
INSERT INTO machines(uuid, name, file_size, file_modified, problem) VALUES (?1, ?2, ?3, ?4, ?5)
ON CONFLICT(uuid) DO UPDATE SET
    file_size = excluded.file_size, file_modified = excluded.file_modified,
    problem = excluded.problem)sql");
    s.bind(1, std::string_view(file.machine))
        .bind(2, std::string_view(file.machine).substr(0, 8))
        .bind(3, file.size)
        .bind(4, micros(file.modified))
        .bind(5, std::string_view(why));
    (void)s.run();
}

// Everything of one file, inside the caller's transaction.
bool takeRows(const SqliteDatabase& db, const SyncFolder::File& file,
              const SyncFile::Machine& machine, Instant now) {
    auto add = db.prepare("INSERT INTO machines(uuid, name) VALUES (?1, ?2) "
                          "ON CONFLICT(uuid) DO NOTHING");
    add.bind(1, std::string_view(machine.id)).bind(2, std::string_view(machine.name));
    if (!add.run())
        return false;
    auto find = db.prepare("SELECT id FROM machines WHERE uuid = ?1");
    find.bind(1, std::string_view(machine.id));
    if (find.step() != SqliteStatement::Step::row)
        return false;
    const std::int64_t number = find.integer(0);
    const std::string id = std::to_string(number);
    find.reset();
    const auto last =
        db.queryInteger("SELECT max(quarter) FROM machine_quarters WHERE machine = " + id);
    const std::string since = last ? std::to_string((*last + 1) * 900000000) : "-1e300";
    if (!db.exec(replace(kChanged, "@M@", id)) || !db.exec(replace(kReplies, "@M@", id)) ||
        !db.exec(replace(replace(kResults, "@M@", id), "@SINCE@", since)))
        return false;
    // The official limit readings in the file plug in here, kept apart by machine as the
    // replies are.
    auto done = db.prepare(R"sql(
UPDATE machines SET name = ?2, published = ?3, file_size = ?4, file_modified = ?5, taken = ?6,
    problem = NULL, forgotten = 0,
    replies = (SELECT coalesce(sum(replies), 0) FROM machine_quarters WHERE machine = ?1)
WHERE id = ?1)sql");
    done.bind(1, number)
        .bind(2, std::string_view(machine.name))
        .bind(3, micros(machine.published))
        .bind(4, file.size)
        .bind(5, micros(file.modified))
        .bind(6, micros(now));
    return done.run();
}

} // namespace

SyncTakeIn::Outcome SyncTakeIn::takeFile(const SqliteDatabase& db, const SyncFolder::File& file,
                                         Instant now) {
    Outcome out;
    const auto skip = [&](const std::string& why) {
        out.lines.push_back("sync: skipped " + file.path.string() + ": " + why);
        noteProblem(db, file, why);
        return out;
    };
    if (const auto problem = SyncFile::headerProblem(file.path))
        return skip(*problem);
    auto attach = db.prepare("ATTACH ?1 AS peer");
    attach.bind(1, std::string_view(SqliteDatabase::immutableUri(file.path)));
    if (!attach.run())
        return skip(db.lastError());
    SyncFile::Machine machine;
    auto problem = SyncFile::problem(db, "peer", file.machine, machine);
    bool busy = false;
    if (!problem) {
        if (db.exec("BEGIN IMMEDIATE")) {
            const bool ok = takeRows(db, file, machine, now);
            if (!ok)
                problem = SqliteDatabase::isCorruption(db.lastCode())
                              ? std::string("damaged")
                              : "could not be taken in: " + db.lastError();
            (void)db.exec(ok && db.exec("COMMIT") ? "" : "ROLLBACK");
        } else {
            busy = true;
        }
    }
    (void)db.exec("DETACH peer");
    if (busy) {
        out.busy = true;
        return out;
    }
    if (problem)
        return skip(*problem);
    out.taken = 1;
    return out;
}

SyncTakeIn::Outcome SyncTakeIn::run(const SqliteDatabase& db, const std::filesystem::path& folder,
                                    const std::string& selfId, Instant now) {
    Outcome out;
    const auto listing = SyncFolder::list(folder);
    if (!listing.problem.empty()) {
        out.lines.push_back("sync: cannot read the folder " + folder.string() + ": " +
                            listing.problem);
        return out;
    }
    auto known = db.prepare("SELECT file_size, file_modified FROM machines WHERE uuid = ?1");
    for (const auto& file : listing.files) {
        if (file.machine == selfId)
            continue;
        known.bind(1, std::string_view(file.machine));
        const bool same = known.step() == SqliteStatement::Step::row &&
                          known.integer(0) == file.size &&
                          known.integer(1) == micros(file.modified);
        known.reset();
        if (same)
            continue;
        auto one = takeFile(db, file, now);
        out.taken += one.taken;
        out.lines.insert(out.lines.end(), one.lines.begin(), one.lines.end());
        if (one.busy) {
            out.busy = true;
            break;
        }
    }
    return out;
}

} // namespace vellumkite
