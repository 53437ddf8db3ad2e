#include "History.hpp"

#include "SqlText.hpp"
#include "ToolCategory.hpp"

#include <algorithm>
#include <utility>
#include <vector>

namespace vellumkite {

struct History::Statements {
    explicit Statements(const SqliteDatabase& db)
        : findName(db.prepare("SELECT id FROM names WHERE text = ?1")),
          addName(db.prepare("INSERT INTO names(text) VALUES (?1) RETURNING id")),
          reply(db.prepare(SqlText::withCounts(R"sql(
INSERT INTO replies(key, time, session, project, model, input, cache_read, cache_write,
                    cache_write_1h, output, fast, us_only, web_searches)
VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13)
-- A reply read again unchanged (a log read anew) leaves its sums alone.
ON CONFLICT(key) DO UPDATE SET
    @KEEP_LARGEST@)sql"))),
          // A result whose call this pass did not see is named by a call read in an earlier
          // one, else keeps the name it was filed with.
          result(db.prepare(R"sql(
INSERT INTO results(call_id, time, session, category, tokens)
VALUES (?1, ?2, ?3, coalesce(?4, (SELECT category FROM calls WHERE call_id = ?1)), ?5)
ON CONFLICT(call_id) DO UPDATE SET
    time = excluded.time,
    session = excluded.session,
    category = coalesce(excluded.category, category),
    tokens = excluded.tokens)sql")),
          call(db.prepare(R"sql(
INSERT INTO calls(call_id, category)
SELECT ?1, ?2 WHERE NOT EXISTS (SELECT 1 FROM results WHERE call_id = ?1)
ON CONFLICT(call_id) DO UPDATE SET category = excluded.category)sql")),
          answered(db.prepare("DELETE FROM calls WHERE call_id = ?1")),
          reading(db.prepare("INSERT INTO readings(window, time, percent, resets_at) "
                             "VALUES (?1, ?2, ?3, ?4) ON CONFLICT DO NOTHING")),
          position(db.prepare(R"sql(
INSERT INTO logs(path, offset, device, inode, print, size, modified)
VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)
ON CONFLICT(path) DO UPDATE SET
    offset = excluded.offset, device = excluded.device, inode = excluded.inode,
    print = excluded.print, size = excluded.size, modified = excluded.modified)sql")) {}

    bool ready() const {
        return findName && addName && reply && result && call && answered && reading && position;
    }

    SqliteStatement findName, addName, reply, result, call, answered, reading, position;
};

namespace {

// SQLite integers are signed: 64-bit fields go through their bit pattern.
std::int64_t asSigned(std::uint64_t v) {
    return static_cast<std::int64_t>(v);
}

std::int64_t micros(Instant t) {
    return t.time_since_epoch().count();
}

constexpr std::int64_t kMaxCount = std::int64_t{1} << 40;

} // namespace

History::History(SqliteDatabase db)
    : db_(std::move(db)), statements_(std::make_unique<Statements>(db_)) {
    damaged_ = !statements_->ready() && SqliteDatabase::isCorruption(db_.lastCode());
    reloadPositions();
}

History::~History() {
    if (written_.valid())
        (void)finishCommit();
}

void History::reloadPositions() {
    auto s = db_.prepare("SELECT path, offset, device, inode, print, size, modified FROM logs");
    std::unordered_map<std::string, LogPosition> loaded;
    for (SqliteStatement::Step step; s && (step = s.step()) == SqliteStatement::Step::row;) {
        LogPosition p;
        p.offset = static_cast<std::uint64_t>(s.integer(1));
        p.device = static_cast<std::uint64_t>(s.integer(2));
        p.inode = static_cast<std::uint64_t>(s.integer(3));
        p.print = static_cast<std::uint64_t>(s.integer(4));
        p.size = static_cast<std::uint64_t>(s.integer(5));
        p.modified = Instant(std::chrono::microseconds(s.integer(6)));
        loaded.emplace(s.text(0), p);
    }
    if (s && s.lastCode() != 101 /* SQLITE_DONE */) {
        damaged_ = damaged_ || SqliteDatabase::isCorruption(s.lastCode());
        return;
    }
    // What this process read keeps its stamps: they spare it opening unchanged logs.
    for (auto& [path, p] : loaded)
        if (const auto it = positions_.find(path);
            it != positions_.end() && it->second.offset == p.offset && it->second.inode == p.inode)
            p.stamp = it->second.stamp;
    positions_ = std::move(loaded);
}

LogPosition History::position(const std::string& path) const {
    if (const auto it = pending_.moved.find(path); it != pending_.moved.end())
        return it->second;
    if (const auto it = writing_.moved.find(path); it != writing_.moved.end())
        return it->second;
    if (const auto it = positions_.find(path); it != positions_.end())
        return it->second;
    return {};
}

void History::advance(const std::string& path, const LogPosition& position) {
    pending_.moved.insert_or_assign(path, position);
}

void History::take(const ParsedLine& line) {
    if (const auto* reply = std::get_if<TurnLine>(&line)) {
        for (const auto& call : reply->toolIds)
            pending_.calls.called(call.id, Name(ToolCategory::of(call.name)));
        Turn counts = reply->turn;
        counts.tools.clear(); // not kept in the history
        // No real reply comes near a trillion tokens; capped, no sum of them can overflow.
        for (auto* n : {&counts.input, &counts.cacheRead, &counts.cacheWrite, &counts.output,
                        &counts.cacheWrite1h, &counts.webSearches})
            *n = std::clamp<std::int64_t>(*n, 0, kMaxCount);
        auto [it, inserted] = pending_.turns.try_emplace(counts.key);
        if (inserted)
            it->second = std::move(counts);
        else
            it->second.absorb(std::move(counts));
        return;
    }
    const auto& batch = std::get<ResultsLine>(line);
    for (const auto& r : batch.results) {
        // Read again in this pass: keeps the name it had. Else the database names it, from a
        // call read in an earlier pass or the name it was written with.
        auto& slot = pending_.results[r.toolId];
        const auto category = pending_.calls.answer(r.toolId, slot.category);
        slot = {batch.sessionId, batch.time, category, r.tokens};
    }
}

void History::takeReading(const LimitReading& reading) {
    pending_.readings.push_back(reading);
}

std::optional<std::int64_t> History::nameId(Name name) {
    if (const auto it = names_.find(name); it != names_.end())
        return it->second;
    if (const auto it = newNames_.find(name); it != newNames_.end())
        return it->second;
    auto& st = *statements_;
    std::optional<std::int64_t> id;
    st.findName.bind(1, std::string_view(name));
    if (st.findName.step() == SqliteStatement::Step::row) {
        id = st.findName.integer(0);
        st.findName.reset();
        names_.emplace(name, *id); // committed by someone: stable
        return id;
    }
    st.findName.reset();
    st.addName.bind(1, std::string_view(name));
    if (st.addName.step() == SqliteStatement::Step::row)
        id = st.addName.integer(0);
    st.addName.reset();
    if (id)
        newNames_.emplace(name, *id);
    return id;
}

namespace {

// In key order, so that inserts walk each tree once instead of jumping about it.
template <typename Map> std::vector<const typename Map::value_type*> sorted(const Map& map) {
    std::vector<const typename Map::value_type*> out;
    out.reserve(map.size());
    for (const auto& kv : map)
        out.push_back(&kv);
    std::sort(out.begin(), out.end(), [](auto* a, auto* b) { return a->first < b->first; });
    return out;
}

} // namespace

bool History::writeRows(const Batch& batch) {
    auto& st = *statements_;
    for (const auto* row : sorted(batch.turns)) {
        const auto& [key, t] = *row;
        const auto session = nameId(t.sessionId), project = nameId(t.project),
                   model = nameId(t.model);
        if (!session || !project || !model)
            return false;
        st.reply.bind(1, std::string_view(key))
            .bind(2, micros(t.time))
            .bind(3, *session)
            .bind(4, *project)
            .bind(5, *model)
            .bind(6, t.input)
            .bind(7, t.cacheRead)
            .bind(8, t.cacheWrite)
            .bind(9, t.cacheWrite1h)
            .bind(10, t.output)
            .bind(11, std::int64_t{t.fast})
            .bind(12, std::int64_t{t.usOnly})
            .bind(13, t.webSearches);
        if (!st.reply.run())
            return false;
    }
    const auto results = sorted(batch.results);
    for (const auto* row : results) {
        const auto& [id, r] = *row;
        const auto session = nameId(r.sessionId);
        if (!session)
            return false;
        st.result.bind(1, std::string_view(id))
            .bind(2, micros(r.time))
            .bind(3, *session)
            .bind(4, r.category ? std::optional<std::string>(r.category->str()) : std::nullopt)
            .bind(5, r.tokens);
        if (!st.result.run())
            return false;
    }
    for (const auto* row : sorted(batch.calls.open())) {
        const auto& [id, category] = *row;
        st.call.bind(1, std::string_view(id)).bind(2, std::string_view(category));
        if (!st.call.run())
            return false;
    }
    for (const auto* row : results) {
        st.answered.bind(1, std::string_view(row->first));
        if (!st.answered.run())
            return false;
    }
    for (const auto& r : batch.readings) {
        for (const auto& w : r.windows) {
            const auto window = nameId(w.name);
            if (!window)
                return false;
            st.reading.bind(1, *window)
                .bind(2, micros(r.at))
                .bind(3, w.percent)
                .bind(4, micros(w.resetsAt));
            if (!st.reading.run())
                return false;
        }
    }
    for (const auto& [path, p] : batch.moved) {
        st.position.bind(1, std::string_view(path))
            .bind(2, asSigned(p.offset))
            .bind(3, asSigned(p.device))
            .bind(4, asSigned(p.inode))
            .bind(5, asSigned(p.print))
            .bind(6, asSigned(p.size))
            .bind(7, micros(p.modified));
        if (!st.position.run())
            return false;
    }
    return true;
}

bool History::write(const Batch& batch) {
    if (batch.empty())
        return true;
    bool ok = statements_->ready() && db_.exec("BEGIN IMMEDIATE");
    if (ok && !(writeRows(batch) && db_.exec("COMMIT"))) {
        ok = false;
        (void)db_.exec("ROLLBACK");
    }
    if (!ok)
        damaged_ = damaged_ || SqliteDatabase::isCorruption(db_.lastCode());
    return ok;
}

// A written batch's positions become the history's; a batch that could not be written is
// dropped, so that its lines are read again.
void History::settle(Batch& batch, bool written) {
    if (written) {
        for (auto& [path, p] : batch.moved)
            positions_.insert_or_assign(path, p);
        names_.merge(newNames_);
    }
    newNames_.clear();
    batch = Batch{};
    lastCommitFailed_ = !written;
}

bool History::commit() {
    if (written_.valid() && !finishCommit()) {
        settle(pending_, false);
        return false;
    }
    settle(pending_, write(pending_));
    return !lastCommitFailed_;
}

void History::commitInBackground() {
    if (written_.valid() && !finishCommit()) {
        settle(pending_, false);
        return;
    }
    lastCommitFailed_ = false; // a failure before this one was told already
    writing_ = std::move(pending_);
    pending_ = Batch{};
    // Only that thread touches the database until finishCommit(); this one fills pending_.
    written_ = std::async(std::launch::async, [this] { return write(writing_); });
}

bool History::finishCommit() {
    if (!written_.valid())
        return !lastCommitFailed_;
    settle(writing_, written_.get());
    return !lastCommitFailed_;
}

} // namespace vellumkite
