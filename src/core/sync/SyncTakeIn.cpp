#include "SyncTakeIn.hpp"

#include "PromptBands.hpp"
#include "SqlText.hpp"
#include "SyncFile.hpp"

#include <array>
#include <map>

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
    @KEEP_LARGEST@;
)sql";

// A machine taken in for the first time comes whole: its rows go in without the triggers that
// keep the sums a row at a time, in time order, and its sums are added up as they are read
// back in that order, a quarter hour at a time.
bool addFirstSums(const SqliteDatabase& db, std::int64_t machine,
                  const std::vector<std::int64_t>& bands) {
    auto read = db.prepare("SELECT time / 900000000, model, fast, us_only, input, cache_read, "
                           "cache_write, cache_write_1h, output, web_searches, counted "
                           "FROM peer_replies WHERE machine = ?1 ORDER BY time");
    read.bind(1, machine);
    auto mine = db.prepare("INSERT INTO machine_quarters VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, "
                           "?8, ?9, ?10, ?11, ?12, ?13)");
    auto counted = db.prepare(SqlText::withCounts(R"sql(
INSERT INTO peer_quarters VALUES (?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13)
ON CONFLICT(quarter, model, fast, us_only, prompt_floor) DO UPDATE SET
    @SUM_ADDED@)sql"));
    // (model, fast, US-only, prompt floor) -> input, output, cache write, 1-hour part, cache
    // read, web searches, replies; of every row, and of the counted ones.
    using Key = std::array<std::int64_t, 4>;
    using Sums = std::array<std::int64_t, 7>;
    std::map<Key, Sums> all, countedOnly;
    std::int64_t quarter = 0;
    const auto flush = [&]() {
        for (auto* pair : {&all, &countedOnly}) {
            auto& s = pair == &all ? mine : counted;
            for (const auto& [k, v] : *pair) {
                s.bind(1, machine).bind(2, quarter);
                for (int i = 0; i < 4; ++i)
                    s.bind(3 + i, k[static_cast<std::size_t>(i)]);
                for (int i = 0; i < 7; ++i)
                    s.bind(7 + i, v[static_cast<std::size_t>(i)]);
                if (!s.run())
                    return false;
            }
            pair->clear();
        }
        return true;
    };
    SqliteStatement::Step step;
    while ((step = read.step()) == SqliteStatement::Step::row) {
        if (read.integer(0) != quarter && !flush())
            return false;
        quarter = read.integer(0);
        const std::int64_t input = read.integer(4), cacheRead = read.integer(5),
                           cacheWrite = read.integer(6);
        const Key key{read.integer(1), read.integer(2), read.integer(3),
                      PromptBands::floorOf(bands, input + cacheRead + cacheWrite)};
        const Sums add{input,     read.integer(8), cacheWrite, read.integer(7),
                       cacheRead, read.integer(9), 1};
        for (auto* pair : {&all, &countedOnly}) {
            if (pair == &countedOnly && read.integer(10) == 0)
                continue;
            auto& sums = (*pair)[key];
            for (std::size_t i = 0; i < sums.size(); ++i)
                sums[i] += add[i];
        }
    }
    return step == SqliteStatement::Step::done && flush();
}

// The sums per local day are worked out again from this machine's first quarter hour.
constexpr const char* kFirstMark = R"sql(
UPDATE day_zones SET dirty_from = (SELECT min(time) FROM peer_replies WHERE machine = @M@) / 900000000
WHERE dirty_from > (SELECT min(time) FROM peer_replies WHERE machine = @M@) / 900000000;
)sql";

// With the triggers back: the copies of machines known since that the new ones outrank.
constexpr const char* kOutranked = R"sql(
UPDATE peer_replies SET counted = 0
WHERE (key, machine) IN (SELECT o.key, o.machine FROM peer_replies n
                         JOIN peer_replies o ON o.key = n.key AND o.machine > n.machine
                         WHERE n.machine = @M@ AND n.counted AND o.counted);
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

// The official limit readings from a day before the last one taken in (a journal's lines may
// come a little out of order), those that could not be real left out.
constexpr const char* kReadings = R"sql(
INSERT INTO main.names(text) SELECT DISTINCT window FROM peer.readings WHERE true
ON CONFLICT(text) DO NOTHING;
INSERT INTO peer_readings(machine, window, time, percent, resets_at)
SELECT @M@, n.id, r.time, r.percent, r.resets_at
FROM peer.readings r JOIN main.names n ON n.text = r.window
WHERE r.time >= coalesce((SELECT max(time) FROM peer_readings WHERE machine = @M@), 0) - 86400000000
      AND r.percent BETWEEN 0 AND 1e9
ON CONFLICT(time, window, machine) DO NOTHING;
)sql";

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
    const bool first =
        !db.queryInteger("SELECT 1 FROM peer_replies WHERE machine = " + id + " LIMIT 1");
    const auto bands = PromptBands::read(db);
    if (!bands || !db.exec(SqlText::replace(kChanged, "@M@", id)))
        return false;
    if (first) {
        const std::string replies =
            SqlText::replace(SqlText::withCounts(kReplies),
                             "WHERE r.time / 900000000 IN (SELECT quarter FROM temp.sync_changed)",
                             "WHERE true ORDER BY r.time");
        if (!db.exec("DROP TRIGGER peer_reply_added; DROP TRIGGER peer_reply_grown; DROP TRIGGER "
                     "peer_reply_moved; DROP TRIGGER peer_reply_removed;") ||
            !db.exec(SqlText::replace(replies, "@M@", id)) || !addFirstSums(db, number, *bands) ||
            !db.exec(SqlText::replace(kFirstMark, "@M@", id)) ||
            !PromptBands::makeTriggers(db, *bands) ||
            !db.exec(SqlText::replace(kOutranked, "@M@", id)))
            return false;
    } else if (!db.exec(SqlText::replace(SqlText::withCounts(kReplies), "@M@", id))) {
        return false;
    }
    if (!db.exec(SqlText::replace(SqlText::replace(kResults, "@M@", id), "@SINCE@", since)))
        return false;
    if (!db.exec(SqlText::replace(kReadings, "@M@", id)))
        return false;
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
                                    const std::string& selfId, Instant now, int limit) {
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
        if (limit-- <= 0) {
            out.more = true;
            break;
        }
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
