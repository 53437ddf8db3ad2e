#include "PromptBands.hpp"

#include <algorithm>

namespace vellumkite {

namespace {

std::string replace(std::string text, std::string_view from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// A new row's counts added to the sums of its class.
constexpr const char* kAdd = R"sql(INSERT INTO quarters
    VALUES (new.time / 900000000, new.model, new.fast, new.us_only, @NEW@, new.input, new.output,
            new.cache_write, new.cache_write_1h, new.cache_read, new.web_searches, 1)
    ON CONFLICT(quarter, model, fast, us_only, prompt_floor) DO UPDATE SET
        input = input + excluded.input,
        output = output + excluded.output,
        cache_write = cache_write + excluded.cache_write,
        cache_write_1h = cache_write_1h + excluded.cache_write_1h,
        cache_read = cache_read + excluded.cache_read,
        web_searches = web_searches + excluded.web_searches,
        replies = replies + 1;)sql";

// @ADD@ stands for kAdd, @NEW@ and @OLD@ for the class of the new and the old row.
constexpr const char* kTriggers = R"sql(
CREATE TRIGGER reply_added AFTER INSERT ON replies BEGIN
    @ADD@
END;
-- A reply's time and model never change; its counts only grow, and it may turn out to be fast
-- or US-only when a line read later says so.
CREATE TRIGGER reply_grown AFTER UPDATE ON replies
WHEN new.fast = old.fast AND new.us_only = old.us_only AND @NEW@ = @OLD@ BEGIN
    UPDATE quarters SET
        input = input + new.input - old.input,
        output = output + new.output - old.output,
        cache_write = cache_write + new.cache_write - old.cache_write,
        cache_write_1h = cache_write_1h + new.cache_write_1h - old.cache_write_1h,
        cache_read = cache_read + new.cache_read - old.cache_read,
        web_searches = web_searches + new.web_searches - old.web_searches
    WHERE quarter = old.time / 900000000 AND model = old.model AND fast = old.fast
          AND us_only = old.us_only AND prompt_floor = @OLD@;
END;
-- One that changes class leaves its old sums for its new ones.
CREATE TRIGGER reply_moved AFTER UPDATE ON replies
WHEN NOT (new.fast = old.fast AND new.us_only = old.us_only AND @NEW@ = @OLD@) BEGIN
    UPDATE quarters SET
        input = input - old.input,
        output = output - old.output,
        cache_write = cache_write - old.cache_write,
        cache_write_1h = cache_write_1h - old.cache_write_1h,
        cache_read = cache_read - old.cache_read,
        web_searches = web_searches - old.web_searches,
        replies = replies - 1
    WHERE quarter = old.time / 900000000 AND model = old.model AND fast = old.fast
          AND us_only = old.us_only AND prompt_floor = @OLD@;
    DELETE FROM quarters
    WHERE quarter = old.time / 900000000 AND model = old.model AND fast = old.fast
          AND us_only = old.us_only AND prompt_floor = @OLD@ AND replies = 0;
    @ADD@
END;
)sql";

constexpr const char* kRefill = R"sql(
DELETE FROM quarters;
INSERT INTO quarters
SELECT time / 900000000, model, fast, us_only, @R@, sum(input), sum(output), sum(cache_write),
       sum(cache_write_1h), sum(cache_read), sum(web_searches), count(*)
FROM replies AS r GROUP BY 1, 2, 3, 4, 5;
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

std::optional<std::int64_t> PromptBands::ceilingOf(const std::vector<std::int64_t>& bands,
                                                   std::int64_t floor) {
    const auto next = std::upper_bound(bands.begin(), bands.end(), floor);
    return next == bands.end() ? std::nullopt : std::optional(*next);
}

bool PromptBands::rebuild(const SqliteDatabase& db, const std::vector<std::int64_t>& bands) {
    return db.exec("DROP TRIGGER IF EXISTS reply_added; DROP TRIGGER IF EXISTS reply_grown; "
                   "DROP TRIGGER IF EXISTS reply_moved;") &&
           db.exec(replace(kRefill, "@R@", floorOf(bands, "r"))) &&
           db.exec(
               replace(replace(replace(kTriggers, "@ADD@", kAdd), "@NEW@", floorOf(bands, "new")),
                       "@OLD@", floorOf(bands, "old")));
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
