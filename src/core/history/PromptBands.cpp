#include "PromptBands.hpp"

#include "SqlText.hpp"

#include <algorithm>

namespace vellumkite {

namespace {

// A new row's counts added to the sums of its class.
constexpr const char* kAdd = R"sql(INSERT INTO quarters
    VALUES (@ROW@.time / 900000000, @ROW@.model, @ROW@.fast, @ROW@.us_only, @NEW@, @ROW_SUMS@, 1)
    ON CONFLICT(quarter, model, fast, us_only, prompt_floor) DO UPDATE SET
        @SUM_ADDED@;)sql";

// @ADD@ stands for kAdd, @NEW@ and @OLD@ for the class of the new and the old row.
constexpr const char* kTriggers = R"sql(
CREATE TRIGGER reply_added AFTER INSERT ON replies BEGIN
    @ADD@
    @MARK@
END;
-- A reply's time and model never change; its counts only grow, and it may turn out to be fast
-- or US-only when a line read later says so.
CREATE TRIGGER reply_grown AFTER UPDATE ON replies
WHEN new.fast = old.fast AND new.us_only = old.us_only AND @NEW@ = @OLD@ BEGIN
    UPDATE quarters SET
        @SUM_GROWN@
    WHERE quarter = old.time / 900000000 AND model = old.model AND fast = old.fast
          AND us_only = old.us_only AND prompt_floor = @OLD@;
    @MARK@
END;
-- One that changes class leaves its old sums for its new ones.
CREATE TRIGGER reply_moved AFTER UPDATE ON replies
WHEN NOT (new.fast = old.fast AND new.us_only = old.us_only AND @NEW@ = @OLD@) BEGIN
    UPDATE quarters SET
        @SUM_TAKEN@
    WHERE quarter = old.time / 900000000 AND model = old.model AND fast = old.fast
          AND us_only = old.us_only AND prompt_floor = @OLD@;
    DELETE FROM quarters
    WHERE quarter = old.time / 900000000 AND model = old.model AND fast = old.fast
          AND us_only = old.us_only AND prompt_floor = @OLD@ AND replies = 0;
    @ADD@
    @MARK@
END;
)sql";

constexpr const char* kRefill = R"sql(
DELETE FROM quarters;
INSERT INTO quarters
SELECT time / 900000000, model, fast, us_only, @R@, @SUMMED@
FROM replies AS r GROUP BY 1, 2, 3, 4, 5;
)sql";

// The other machines' replies: @ROW@ (new or old) added to or taken from its machine's sums and,
// when it is the copy that counts, the sums over every machine. @F@ is the row's class.
constexpr const char* kPeerAdd = R"sql(
    INSERT INTO machine_quarters
    VALUES (@ROW@.machine, @ROW@.time / 900000000, @ROW@.model, @ROW@.fast, @ROW@.us_only, @F@,
            @ROW_SUMS@, 1)
    ON CONFLICT(machine, quarter, model, fast, us_only, prompt_floor) DO UPDATE SET
        @SUM_ADDED@;
    INSERT INTO peer_quarters
    SELECT @ROW@.time / 900000000, @ROW@.model, @ROW@.fast, @ROW@.us_only, @F@, @ROW_SUMS@, 1
    WHERE @ROW@.counted
    ON CONFLICT(quarter, model, fast, us_only, prompt_floor) DO UPDATE SET
        @SUM_ADDED@;)sql";

// The class of @ROW@ in a table of sums, as kPeerTake and kPeerTriggers name it.
constexpr const char* kPeerClass = R"sql(quarter = @ROW@.time / 900000000 AND model = @ROW@.model
          AND fast = @ROW@.fast AND us_only = @ROW@.us_only AND prompt_floor = @F@)sql";

constexpr const char* kPeerTake = R"sql(
    UPDATE machine_quarters SET
        @SUM_TAKEN@
    WHERE machine = @ROW@.machine AND @CLASS@;
    DELETE FROM machine_quarters WHERE machine = @ROW@.machine AND @CLASS@ AND replies = 0;
    UPDATE peer_quarters SET
        @SUM_TAKEN@
    WHERE @ROW@.counted AND @CLASS@;
    DELETE FROM peer_quarters WHERE @ROW@.counted AND @CLASS@ AND replies = 0;)sql";

// @ADD@ and @TAKE@ stand for kPeerAdd of the new row and kPeerTake of the old.
constexpr const char* kPeerTriggers = R"sql(
CREATE TRIGGER peer_reply_added AFTER INSERT ON peer_replies BEGIN
    @ADD@
    -- The copy of a machine known longer counts instead of one of a machine known since.
    UPDATE peer_replies SET counted = 0
    WHERE new.counted AND key = new.key AND machine > new.machine AND counted;
    @MARKNEW@
END;
CREATE TRIGGER peer_reply_grown AFTER UPDATE ON peer_replies
WHEN new.fast = old.fast AND new.us_only = old.us_only AND new.counted = old.counted
     AND @NEWF@ = @OLDF@ BEGIN
    UPDATE machine_quarters SET
        @SUM_GROWN@
    WHERE machine = old.machine AND @OLDCLASS@;
    UPDATE peer_quarters SET
        @SUM_GROWN@
    WHERE old.counted AND @OLDCLASS@;
    @MARKOLD@
END;
CREATE TRIGGER peer_reply_moved AFTER UPDATE ON peer_replies
WHEN NOT (new.fast = old.fast AND new.us_only = old.us_only AND new.counted = old.counted
          AND @NEWF@ = @OLDF@) BEGIN
    @TAKE@
    @ADD@
    @MARKOLD@
END;
CREATE TRIGGER peer_reply_removed AFTER DELETE ON peer_replies BEGIN
    @TAKE@
    @MARKOLD@
END;
)sql";

constexpr const char* kPeerRefill = R"sql(
DELETE FROM machine_quarters;
INSERT INTO machine_quarters
SELECT machine, time / 900000000, model, fast, us_only, @R@, @SUMMED@
FROM peer_replies AS r GROUP BY 1, 2, 3, 4, 5, 6;
DELETE FROM peer_quarters;
INSERT INTO peer_quarters
SELECT time / 900000000, model, fast, us_only, @R@, @SUMMED@
FROM peer_replies AS r WHERE counted GROUP BY 1, 2, 3, 4, 5;
)sql";

// The sums per local day (DaySums) are worked out again from the first quarter hour that changed.
constexpr const char* kMark = R"sql(UPDATE day_zones SET dirty_from = @ROW@.time / 900000000
    WHERE dirty_from > @ROW@.time / 900000000;)sql";

// A reply this machine reads that another machine's copy was counted for: this one counts now.
constexpr const char* kShadow = R"sql(
CREATE TRIGGER reply_shadows_peer AFTER INSERT ON replies BEGIN
    UPDATE peer_replies SET counted = 0 WHERE key = new.key AND counted;
END;
)sql";

} // namespace

std::optional<std::vector<std::int64_t>> PromptBands::read(const SqliteDatabase& db) {
    auto s = db.prepare("SELECT tokens FROM bands ORDER BY tokens");
    if (!s)
        return std::nullopt;
    std::vector<std::int64_t> out;
    SqliteStatement::Step step;
    while ((step = s.step()) == SqliteStatement::Step::row)
        out.push_back(s.integer(0));
    if (step != SqliteStatement::Step::done)
        return std::nullopt;
    return out;
}

std::string PromptBands::floorOf(const std::vector<std::int64_t>& bands, const std::string& row) {
    if (bands.empty())
        return "0";
    const std::string prompt =
        "(" + row + ".input + " + row + ".cache_read + " + row + ".cache_write)";
    std::string out = "CASE";
    for (auto it = bands.rbegin(); it != bands.rend(); ++it) {
        const std::string n = std::to_string(*it);
        out += " WHEN " + prompt + " > " + n + " THEN " + n;
    }
    return out + " ELSE 0 END";
}

std::int64_t PromptBands::floorOf(const std::vector<std::int64_t>& bands, std::int64_t prompt) {
    // The largest boundary below the prompt, as the SQL form's CASE gives it.
    const auto above = std::lower_bound(bands.begin(), bands.end(), prompt);
    return above == bands.begin() ? 0 : *std::prev(above);
}

std::optional<std::int64_t> PromptBands::ceilingOf(const std::vector<std::int64_t>& bands,
                                                   std::int64_t floor) {
    const auto next = std::upper_bound(bands.begin(), bands.end(), floor);
    return next == bands.end() ? std::nullopt : std::optional(*next);
}

namespace {

bool hasTable(const SqliteDatabase& db, const char* name) {
    return db.queryInteger(std::string("SELECT count(*) FROM sqlite_schema WHERE name = '") + name +
                           "'")
               .value_or(0) > 0;
}

} // namespace

bool PromptBands::makeTriggers(const SqliteDatabase& db, const std::vector<std::int64_t>& bands) {
    const bool days = hasTable(db, "day_zones");
    const auto mark = [&](const std::string& row) {
        return days ? SqlText::replace(kMark, "@ROW@", row) : std::string();
    };
    if (!db.exec("DROP TRIGGER IF EXISTS reply_added; DROP TRIGGER IF EXISTS reply_grown; "
                 "DROP TRIGGER IF EXISTS reply_moved; DROP TRIGGER IF EXISTS peer_reply_added; "
                 "DROP TRIGGER IF EXISTS peer_reply_grown; DROP TRIGGER IF EXISTS "
                 "peer_reply_moved; DROP TRIGGER IF EXISTS peer_reply_removed; DROP TRIGGER IF "
                 "EXISTS reply_shadows_peer;"))
        return false;
    // Each row named and classed: `new` or `old`, its class worked out from its counts.
    const auto ofRow = [&](const char* text, const std::string& row) {
        return SqlText::replace(
            SqlText::replace(SqlText::withCounts(text), "@F@", floorOf(bands, row)), "@ROW@", row);
    };
    std::string own = SqlText::replace(ofRow(kTriggers, "old"), "@ADD@", ofRow(kAdd, "new"));
    own = SqlText::replace(SqlText::replace(own, "@NEW@", floorOf(bands, "new")), "@OLD@",
                           floorOf(bands, "old"));
    if (!db.exec(SqlText::replace(own, "@MARK@", mark("new"))))
        return false;
    // The other machines' sums are kept apart at the same boundaries, once they are kept.
    if (!hasTable(db, "peer_replies"))
        return true;
    const auto peerClass = [&](const char* text, const std::string& row) {
        return ofRow(SqlText::replace(text, "@CLASS@", kPeerClass).c_str(), row);
    };
    std::string triggers =
        SqlText::replace(SqlText::withCounts(kPeerTriggers), "@ADD@", ofRow(kPeerAdd, "new"));
    triggers = SqlText::replace(triggers, "@TAKE@", peerClass(kPeerTake, "old"));
    triggers = SqlText::replace(triggers, "@OLDCLASS@", ofRow(kPeerClass, "old"));
    triggers = SqlText::replace(SqlText::replace(triggers, "@NEWF@", floorOf(bands, "new")),
                                "@OLDF@", floorOf(bands, "old"));
    triggers = SqlText::replace(SqlText::replace(triggers, "@MARKNEW@", mark("new")), "@MARKOLD@",
                                mark("old"));
    return db.exec(triggers) && db.exec(kShadow);
}

bool PromptBands::rebuild(const SqliteDatabase& db, const std::vector<std::int64_t>& bands) {
    const auto refill = [&](const char* text) {
        return db.exec(SqlText::replace(SqlText::withCounts(text), "@R@", floorOf(bands, "r")));
    };
    return refill(kRefill) && (!hasTable(db, "peer_replies") || refill(kPeerRefill)) &&
           makeTriggers(db, bands) &&
           (!hasTable(db, "day_zones") || db.exec("DELETE FROM day_sums; DELETE FROM day_zones;"));
}

bool PromptBands::splitAt(const SqliteDatabase& db, const std::vector<std::int64_t>& thresholds) {
    const auto missing = [&](const std::vector<std::int64_t>& bands) {
        std::vector<std::int64_t> out;
        for (const auto t : thresholds)
            if (t > 0 && !std::binary_search(bands.begin(), bands.end(), t) &&
                bands.size() + out.size() < kMost)
                out.push_back(t);
        return out;
    };
    const auto before = read(db);
    if (!before)
        return false;
    if (missing(*before).empty())
        return true;
    if (!db.exec("BEGIN IMMEDIATE"))
        return false;
    // Read again inside the transaction: another program may have added them meanwhile.
    auto bands = read(db);
    bool ok = bands.has_value();
    if (ok) {
        for (const auto t : missing(*bands)) {
            ok = ok && db.exec("INSERT INTO bands VALUES (" + std::to_string(t) + ")");
            bands->push_back(t);
        }
        std::sort(bands->begin(), bands->end());
        ok = ok && rebuild(db, *bands) && db.exec("COMMIT");
    }
    if (!ok)
        (void)db.exec("ROLLBACK");
    return ok;
}

} // namespace vellumkite
