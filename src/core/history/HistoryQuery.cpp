#include "HistoryQuery.hpp"

namespace vellumkite {

namespace {

constexpr std::int64_t kQuarterMicros = 15LL * 60 * 1000000;

std::int64_t micros(Instant t) {
    return t.time_since_epoch().count();
}

UsageTotals totalsFrom(const SqliteStatement& s, int first) {
    UsageTotals u;
    u.input = s.integer(first);
    u.output = s.integer(first + 1);
    u.cacheWrite = s.integer(first + 2);
    u.cacheWrite1h = s.integer(first + 3);
    u.cacheRead = s.integer(first + 4);
    u.replies = s.integer(first + 5);
    return u;
}

// total() rather than sum(): absurd counts in a log saturate instead of failing every report.
constexpr const char* kSums =
    "CAST(total(r.input) AS INTEGER), CAST(total(r.output) AS INTEGER), "
    "CAST(total(r.cache_write) AS INTEGER), CAST(total(r.cache_write_1h) AS INTEGER), "
    "CAST(total(r.cache_read) AS INTEGER), count(*)";

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

std::optional<std::vector<HistoryQuery::Quarter>> HistoryQuery::quarters(Instant from,
                                                                         Instant to) const {
    // Day bounds fall on quarter hours in every zone; other bounds take the quarters they touch.
    const auto first = micros(from) / kQuarterMicros;
    const auto last = micros(to) / kQuarterMicros + (micros(to) % kQuarterMicros > 0 ? 1 : 0);
    auto s = db_.prepare("SELECT q.quarter, m.text, q.input, q.output, q.cache_write, "
                         "q.cache_write_1h, q.cache_read, q.replies FROM quarters q "
                         "JOIN names m ON m.id = q.model "
                         "WHERE q.quarter >= ?1 AND q.quarter < ?2 ORDER BY q.quarter");
    s.bind(1, first).bind(2, last);
    return rows<Quarter>(s, [](const SqliteStatement& r) {
        return Quarter{r.integer(0), r.text(1), totalsFrom(r, 2)};
    });
}

std::optional<std::vector<HistoryQuery::Share>> HistoryQuery::shares(By by, Instant from,
                                                                     Instant to) const {
    const std::string column = by == By::session ? "r.session" : "r.project";
    auto s =
        db_.prepare("SELECT k.text, m.text, " + std::string(kSums) +
                    " FROM replies r INDEXED BY replies_by_time JOIN names k ON k.id = " + column +
                    " JOIN names m ON m.id = r.model WHERE r.time >= ?1 AND r.time < ?2"
                    " GROUP BY " +
                    column + ", r.model");
    s.bind(1, micros(from)).bind(2, micros(to));
    return rows<Share>(s, [](const SqliteStatement& r) {
        return Share{r.text(0), r.text(1), totalsFrom(r, 2)};
    });
}

std::optional<std::vector<HistoryQuery::ModelUsage>> HistoryQuery::byModel(Instant from,
                                                                           Instant to) const {
    if (!byModel_)
        byModel_ =
            db_.prepare("SELECT m.text, " + std::string(kSums) +
                        " FROM replies r INDEXED BY replies_by_time JOIN names m ON m.id = r.model"
                        " WHERE r.time >= ?1 AND r.time < ?2 GROUP BY r.model");
    auto& s = byModel_;
    s.bind(1, micros(from)).bind(2, micros(to));
    return rows<ModelUsage>(s, [](const SqliteStatement& r) {
        return ModelUsage{r.text(0), totalsFrom(r, 1)};
    });
}

std::optional<Instant> HistoryQuery::firstReply() const {
    auto s = db_.prepare("SELECT min(time) FROM replies");
    if (s.step() != SqliteStatement::Step::row || s.isNull(0)) {
        s.reset();
        return std::nullopt;
    }
    const Instant t{std::chrono::microseconds(s.integer(0))};
    s.reset();
    return t;
}

} // namespace vellumkite
