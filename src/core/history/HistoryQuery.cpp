#include "HistoryQuery.hpp"

#include "PriceTable.hpp"
#include "PromptBands.hpp"

namespace vellumkite {

namespace {

constexpr std::int64_t kQuarterMicros = 15LL * 60 * 1000000;
constexpr std::int64_t kQuartersPerDay = 96;

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
    u.webSearches = s.integer(first + 5);
    u.replies = s.integer(first + 6);
    return u;
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
    auto s = db_.prepare("SELECT q.quarter, m.text, q.fast, q.us_only, q.prompt_floor, q.input, "
                         "q.output, q.cache_write, q.cache_write_1h, q.cache_read, "
                         "q.web_searches, q.replies FROM quarters q "
                         "JOIN names m ON m.id = q.model "
                         "WHERE q.quarter >= ?1 AND q.quarter < ?2 ORDER BY q.quarter");
    s.bind(1, first).bind(2, last);
    return rows<Quarter>(s, [this](const SqliteStatement& r) {
        const auto index = r.integer(0);
        const auto c = classFrom(r, 2, index / kQuartersPerDay);
        return Quarter{index, r.text(1), c, withFast(totalsFrom(r, 5), c)};
    });
}

std::optional<std::vector<HistoryQuery::Share>> HistoryQuery::shares(By by, Instant from,
                                                                     Instant to) const {
    if (!bands())
        return std::nullopt;
    const std::string column = by == By::session ? "r.session" : "r.project";
    auto s =
        db_.prepare("SELECT k.text, m.text, r.time / 86400000000, r.fast, r.us_only, " +
                    PromptBands::floorOf(*bands_, "r") + ", " + std::string(kSums) +
                    " FROM replies r INDEXED BY replies_by_time JOIN names k ON k.id = " + column +
                    " JOIN names m ON m.id = r.model WHERE r.time >= ?1 AND r.time < ?2"
                    " GROUP BY " +
                    column + ", r.model, 3, 4, 5, 6");
    s.bind(1, micros(from)).bind(2, micros(to));
    return rows<Share>(s, [this](const SqliteStatement& r) {
        const auto c = classFrom(r, 3, r.integer(2));
        return Share{r.text(0), r.text(1), c, withFast(totalsFrom(r, 6), c)};
    });
}

std::optional<std::vector<HistoryQuery::ModelUsage>> HistoryQuery::byModel(Instant from,
                                                                           Instant to) const {
    if (!bands())
        return std::nullopt;
    if (!byModel_)
        byModel_ =
            db_.prepare("SELECT m.text, r.time / 86400000000, r.fast, r.us_only, " +
                        PromptBands::floorOf(*bands_, "r") + ", " + std::string(kSums) +
                        " FROM replies r INDEXED BY replies_by_time JOIN names m ON m.id = r.model"
                        " WHERE r.time >= ?1 AND r.time < ?2 GROUP BY r.model, 2, 3, 4, 5");
    auto& s = byModel_;
    s.bind(1, micros(from)).bind(2, micros(to));
    return rows<ModelUsage>(s, [this](const SqliteStatement& r) {
        const auto c = classFrom(r, 2, r.integer(1));
        return ModelUsage{r.text(0), c, withFast(totalsFrom(r, 5), c)};
    });
}

std::optional<std::vector<HistoryQuery::ModelTotal>> HistoryQuery::models() const {
    auto s = db_.prepare("SELECT m.text, CAST(total(q.input) AS INTEGER), "
                         "CAST(total(q.output) AS INTEGER), CAST(total(q.cache_write) AS INTEGER), "
                         "CAST(total(q.cache_write_1h) AS INTEGER), "
                         "CAST(total(q.cache_read) AS INTEGER), 0, sum(q.replies) "
                         "FROM quarters q JOIN names m ON m.id = q.model GROUP BY q.model");
    return rows<ModelTotal>(s, [](const SqliteStatement& r) {
        return ModelTotal{r.text(0), totalsFrom(r, 1)};
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
