#include "HistoryQuery.hpp"

#include "PriceTable.hpp"
#include "PromptBands.hpp"
#include "SqlText.hpp"

namespace vellumkite {

namespace {

constexpr std::int64_t kQuarterMicros = 15LL * 60 * 1000000;
constexpr std::int64_t kQuartersPerDay = 96;

std::int64_t micros(Instant t) {
    return t.time_since_epoch().count();
}

// total() rather than sum(): absurd counts in a log saturate instead of failing every report.
constexpr const char* kSums =
    "CAST(total(r.input) AS INTEGER), CAST(total(r.output) AS INTEGER), "
    "CAST(total(r.cache_write) AS INTEGER), CAST(total(r.cache_write_1h) AS INTEGER), "
    "CAST(total(r.cache_read) AS INTEGER), CAST(total(r.web_searches) AS INTEGER), count(*)";

} // namespace

template <typename Row, typename Read>
std::optional<std::vector<Row>> HistoryQuery::rows(SqliteStatement& s, Read read) const {
    std::vector<Row> out;
    SqliteStatement::Step step;
    while ((step = s.step()) == SqliteStatement::Step::row)
        out.push_back(read(s));
    if (step == SqliteStatement::Step::done) {
        lastCode_ = 0;
        return out;
    }
    lastCode_ = s.lastCode() ? s.lastCode() : db_.lastCode();
    return std::nullopt;
}

template <typename Row, typename Read>
std::optional<std::vector<Row>>
HistoryQuery::scoped(const std::string& sql, bool sums,
                     const std::function<void(SqliteStatement&)>& bind, Read read) const {
    struct Part {
        const char* source;
        const char* where;
    };
    std::vector<Part> parts;
    if (scope_.kind != MachineScope::Kind::other)
        parts.push_back({sums ? "quarters q" : "replies r INDEXED BY replies_by_time", "1"});
    if (scope_.kind == MachineScope::Kind::every)
        parts.push_back({sums ? "peer_quarters q" : "peer_replies r",
                         sums ? "1" : "r.machine IN (SELECT id FROM machines) AND r.counted"});
    if (scope_.kind == MachineScope::Kind::other)
        parts.push_back({sums ? "machine_quarters q" : "peer_replies r",
                         sums ? "q.machine = ?9" : "r.machine = ?9"});
    std::vector<Row> out;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        // A history older than the other machines' tables (read, never brought up to date, by
        // the price listing and the doctor) has only its own usage.
        const bool peers = i > 0 || scope_.kind == MachineScope::Kind::other;
        if (peers && !hasPeers())
            break;
        const auto text = SqlText::replace(SqlText::replace(sql, "@SOURCE@", parts[i].source),
                                           "@WHERE@", parts[i].where);
        auto kept = statements_.find(text);
        SqliteStatement fresh;
        if (kept == statements_.end()) {
            fresh = db_.prepare(text);
            // One that could not be made (a busy schema) is tried afresh next time.
            if (fresh)
                kept = statements_.emplace(text, std::move(fresh)).first;
        }
        auto& s = kept != statements_.end() ? kept->second : fresh;
        if (bind)
            bind(s);
        if (scope_.kind == MachineScope::Kind::other)
            s.bind(9, scope_.machine);
        auto some = rows<Row>(s, read);
        if (!some) {
            s.reset();
            return std::nullopt;
        }
        if (out.empty())
            out = std::move(*some);
        else
            out.insert(out.end(), std::make_move_iterator(some->begin()),
                       std::make_move_iterator(some->end()));
    }
    return out;
}

bool HistoryQuery::hasPeers() const {
    if (!hasPeers_)
        hasPeers_ =
            db_.queryInteger("SELECT count(*) FROM sqlite_schema WHERE name = 'peer_quarters'")
                .value_or(0) > 0;
    return *hasPeers_;
}

const std::vector<std::int64_t>* HistoryQuery::bands() const {
    if (!bands_)
        bands_ = PromptBands::read(db_);
    if (!bands_)
        lastCode_ = db_.lastCode();
    return bands_ ? &*bands_ : nullptr;
}

UsageClass HistoryQuery::classFrom(const SqliteStatement& s, int first, std::int64_t day) const {
    UsageClass c;
    c.day = day;
    c.fast = s.integer(first) != 0;
    c.usOnly = s.integer(first + 1) != 0;
    c.promptAbove = s.integer(first + 2);
    c.promptAtMost = PromptBands::ceilingOf(*bands_, c.promptAbove);
    return c;
}

namespace {

UsageTotals withFast(UsageTotals u, const UsageClass& c) {
    u.fastReplies = c.fast ? u.replies : 0;
    return u;
}

} // namespace

std::optional<std::vector<HistoryQuery::Quarter>> HistoryQuery::quarters(Instant from,
                                                                         Instant to) const {
    if (!bands())
        return std::nullopt;
    // Day bounds fall on quarter hours in every zone; other bounds take the quarters they touch.
    const auto first = micros(from) / kQuarterMicros;
    const auto last = micros(to) / kQuarterMicros + (micros(to) % kQuarterMicros > 0 ? 1 : 0);
    return scoped<Quarter>(
        "SELECT q.quarter, m.text, q.fast, q.us_only, q.prompt_floor, q.input, q.output, "
        "q.cache_write, q.cache_write_1h, q.cache_read, q.web_searches, q.replies "
        "FROM @SOURCE@ JOIN names m ON m.id = q.model "
        "WHERE q.quarter >= ?1 AND q.quarter < ?2 AND @WHERE@ ORDER BY q.quarter",
        true, [&](SqliteStatement& s) { s.bind(1, first).bind(2, last); },
        [this](const SqliteStatement& r) {
            const auto index = r.integer(0);
            const auto c = classFrom(r, 2, index / kQuartersPerDay);
            return Quarter{index, r.text(1), c, withFast(SqlText::sumsAt(r, 5), c)};
        });
}

std::optional<std::vector<HistoryQuery::Share>> HistoryQuery::shares(By by, Instant from,
                                                                     Instant to) const {
    if (!bands())
        return std::nullopt;
    const std::string column = by == By::session ? "r.session" : "r.project";
    return scoped<Share>(
        "SELECT k.text, m.text, r.time / 86400000000, r.fast, r.us_only, " +
            PromptBands::floorOf(*bands_, "r") + ", " + std::string(kSums) +
            " FROM @SOURCE@ JOIN names k ON k.id = " + column +
            " JOIN names m ON m.id = r.model WHERE r.time >= ?1 AND r.time < ?2 AND @WHERE@"
            " GROUP BY " +
            column + ", r.model, 3, 4, 5, 6",
        false, [&](SqliteStatement& s) { s.bind(1, micros(from)).bind(2, micros(to)); },
        [this](const SqliteStatement& r) {
            const auto c = classFrom(r, 3, r.integer(2));
            return Share{r.text(0), r.text(1), c, withFast(SqlText::sumsAt(r, 6), c)};
        });
}

std::optional<std::vector<HistoryQuery::ModelUsage>> HistoryQuery::byModel(Instant from,
                                                                           Instant to) const {
    if (!bands())
        return std::nullopt;
    return scoped<ModelUsage>(
        "SELECT m.text, r.time / 86400000000, r.fast, r.us_only, " +
            PromptBands::floorOf(*bands_, "r") + ", " + std::string(kSums) +
            " FROM @SOURCE@ JOIN names m ON m.id = r.model"
            " WHERE r.time >= ?1 AND r.time < ?2 AND @WHERE@ GROUP BY r.model, 2, 3, 4, 5",
        false, [&](SqliteStatement& s) { s.bind(1, micros(from)).bind(2, micros(to)); },
        [this](const SqliteStatement& r) {
            const auto c = classFrom(r, 2, r.integer(1));
            return ModelUsage{r.text(0), c, withFast(SqlText::sumsAt(r, 5), c)};
        });
}

std::optional<std::vector<HistoryQuery::ModelTotal>> HistoryQuery::models() const {
    return scoped<ModelTotal>(
        "SELECT m.text, CAST(total(q.input) AS INTEGER), CAST(total(q.output) AS INTEGER), "
        "CAST(total(q.cache_write) AS INTEGER), CAST(total(q.cache_write_1h) AS INTEGER), "
        "CAST(total(q.cache_read) AS INTEGER), 0, sum(q.replies) "
        "FROM @SOURCE@ JOIN names m ON m.id = q.model WHERE @WHERE@ GROUP BY q.model",
        true, {}, [](const SqliteStatement& r) {
            return ModelTotal{r.text(0), SqlText::sumsAt(r, 1)};
        });
}

std::optional<std::map<std::string, UsageTotals>>
HistoryQuery::unpriced(const PriceTable& book) const {
    const auto all = models();
    if (!all)
        return std::nullopt;
    std::map<std::string, UsageTotals> out;
    for (const auto& m : *all)
        if (!book.find(m.model))
            out[std::string(PriceTable::reportId(m.model))] += m.usage;
    return out;
}

std::optional<std::vector<DaySums::Row>> HistoryQuery::days(std::optional<LocalDate> first,
                                                            std::optional<LocalDate> last) const {
    auto out = DaySums::read(db_, scope_, first, last);
    lastCode_ = out ? 0 : db_.lastCode();
    return out;
}

std::int64_t HistoryQuery::otherMachines() const {
    if (!hasPeers())
        return 0;
    return db_.queryInteger("SELECT count(*) FROM machines WHERE NOT forgotten AND replies > 0")
        .value_or(0);
}

std::optional<Instant> HistoryQuery::firstReply() const {
    // Another machine's first quarter hour tells its first day as well as its first reply.
    const auto first = scoped<std::optional<std::int64_t>>(
        scope_.kind == MachineScope::Kind::other
            ? "SELECT min(q.quarter) * 900000000 FROM @SOURCE@ WHERE @WHERE@"
            : "SELECT min(r.time) FROM @SOURCE@ WHERE @WHERE@",
        scope_.kind == MachineScope::Kind::other, {}, [](const SqliteStatement& r) {
            return r.isNull(0) ? std::nullopt : std::optional(r.integer(0));
        });
    std::optional<std::int64_t> out;
    for (const auto& t : first.value_or(std::vector<std::optional<std::int64_t>>{}))
        if (t && (!out || *t < *out))
            out = t;
    if (!out)
        return std::nullopt;
    return Instant{std::chrono::microseconds(*out)};
}

} // namespace vellumkite
