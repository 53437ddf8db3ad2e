#include "SyncMachines.hpp"

#include "SqlText.hpp"

#include <algorithm>
#include <set>

namespace vellumkite {

namespace {

Instant fromMicros(std::int64_t us) {
    return Instant{std::chrono::microseconds(us)};
}

} // namespace

std::optional<std::vector<SyncMachine>>
SyncMachines::list(const SqliteDatabase& db, const MachineIdentity& me, bool withForgotten) {
    std::vector<SyncMachine> out;
    SyncMachine self;
    self.id = me.id;
    self.name = me.name;
    self.self = true;
    auto own = db.prepare("SELECT (SELECT coalesce(sum(replies), 0) FROM quarters), "
                          "(SELECT max(at) FROM published)");
    if (own.step() != SqliteStatement::Step::row)
        return std::nullopt;
    self.replies = own.integer(0);
    if (!own.isNull(1))
        self.published = fromMicros(own.integer(1));
    own.reset();
    out.push_back(std::move(self));

    auto s = db.prepare("SELECT id, uuid, name, published, replies, problem, forgotten "
                        "FROM machines WHERE uuid <> ?1 ORDER BY name, uuid");
    s.bind(1, std::string_view(me.id));
    SqliteStatement::Step step;
    while ((step = s.step()) == SqliteStatement::Step::row) {
        SyncMachine m;
        m.number = s.integer(0);
        m.id = s.text(1);
        m.name = s.text(2);
        if (!s.isNull(3))
            m.published = fromMicros(s.integer(3));
        m.replies = s.integer(4);
        m.problem = s.isNull(5) ? "" : s.text(5);
        m.forgotten = s.integer(6) != 0;
        if (withForgotten || !m.forgotten)
            out.push_back(std::move(m));
    }
    if (step != SqliteStatement::Step::done)
        return std::nullopt;
    return out;
}

const SyncMachine* SyncMachines::find(const std::vector<SyncMachine>& machines,
                                      std::string_view text,
                                      std::vector<const SyncMachine*>* matches) {
    std::vector<const SyncMachine*> found;
    for (const auto& m : machines)
        if (m.id == text)
            return &m;
    for (const auto& m : machines)
        if (m.name == text)
            found.push_back(&m);
    if (found.empty() && text.size() >= 8)
        for (const auto& m : machines)
            if (m.id.starts_with(text))
                found.push_back(&m);
    if (matches)
        *matches = found;
    return found.size() == 1 ? found.front() : nullptr;
}

std::optional<SyncMachines::Days> SyncMachines::days(const SqliteDatabase& db,
                                                     const SyncMachine& machine) {
    auto s = db.prepare(machine.self ? "SELECT DISTINCT quarter FROM quarters ORDER BY quarter"
                                     : "SELECT DISTINCT quarter FROM machine_quarters "
                                       "WHERE machine = ?1 ORDER BY quarter");
    if (!machine.self)
        s.bind(1, machine.number);
    Days out;
    std::optional<LocalDate> previous;
    SqliteStatement::Step step;
    while ((step = s.step()) == SqliteStatement::Step::row) {
        // A quarter hour never straddles a local midnight: the day of its start is its day.
        const auto day = LocalDate::of(fromMicros(s.integer(0) * 900000000));
        if (previous && *previous == day)
            continue;
        ++out.count;
        previous = day;
        if (!out.first)
            out.first = day;
        out.last = day;
    }
    if (step != SqliteStatement::Step::done)
        return std::nullopt;
    return out;
}

bool SyncMachines::forget(const SqliteDatabase& db, std::int64_t number) {
    std::string sql = R"sql(
CREATE TEMP TABLE IF NOT EXISTS sync_freed(key TEXT PRIMARY KEY);
DELETE FROM temp.sync_freed;
INSERT OR IGNORE INTO temp.sync_freed SELECT key FROM peer_replies WHERE machine = @M@ AND counted;
DELETE FROM peer_replies WHERE machine = @M@;
-- Its counted copies: the machine known longest that also has one counts it now.
UPDATE peer_replies SET counted = 1
WHERE key IN (SELECT key FROM temp.sync_freed) AND NOT counted
      AND NOT EXISTS (SELECT 1 FROM main.replies l WHERE l.key = peer_replies.key)
      AND NOT EXISTS (SELECT 1 FROM peer_replies o
                      WHERE o.key = peer_replies.key AND o.machine < peer_replies.machine);
DELETE FROM temp.sync_freed;
DELETE FROM peer_results WHERE machine = @M@;
DELETE FROM peer_readings WHERE machine = @M@;
DELETE FROM machine_quarters WHERE machine = @M@;
UPDATE machines SET forgotten = 1, replies = 0, problem = NULL WHERE id = @M@;
)sql";
    sql = SqlText::replace(std::move(sql), "@M@", std::to_string(number));
    if (!db.exec("BEGIN IMMEDIATE"))
        return false;
    const bool ok = db.exec(sql);
    return db.exec(ok ? "COMMIT" : "ROLLBACK") && ok;
}

} // namespace vellumkite
