#include "LimitHistory.hpp"

#include "PriceTable.hpp"

#include <algorithm>
#include <chrono>

namespace vellumkite {

namespace {

std::int64_t micros(Instant t) {
    return t.time_since_epoch().count();
}

Instant fromMicros(std::int64_t us) {
    return Instant{std::chrono::microseconds(us)};
}

// A span's replies come after its first reading, up to and with its last.
Instant justAfter(Instant t) {
    return t == kDistantFuture ? t : t + std::chrono::microseconds(1);
}

constexpr double kBurnMinutes = 15;
// How long after its last reading a span's replies are surely all in the history.
constexpr double kSettledSeconds = 600;

} // namespace

std::optional<std::vector<WindowInstance>> LimitHistory::instances(Instant from, Instant to) const {
    // One account's limits: the other machines' readings fill the gaps of this one's.
    const std::string all = query_.hasPeers() ? "(SELECT window, time, percent, resets_at FROM "
                                                "readings UNION SELECT window, time, percent, "
                                                "resets_at FROM peer_readings)"
                                              : "readings";
    auto s = db_.prepare("SELECT n.text, r.time, r.percent, r.resets_at FROM " + all +
                         " r JOIN names n ON n.id = r.window WHERE r.time >= ?1 AND r.time < ?2 "
                         "ORDER BY r.time");
    s.bind(1, micros(from)).bind(2, micros(to));
    struct Row {
        std::string name;
        LimitPoint point;
    };
    std::vector<Row> rows;
    SqliteStatement::Step step;
    while ((step = s.step()) == SqliteStatement::Step::row)
        rows.push_back(
            {s.text(0), {fromMicros(s.integer(1)), s.real(2), fromMicros(s.integer(3))}});
    if (step != SqliteStatement::Step::done)
        return std::nullopt;
    std::stable_sort(rows.begin(), rows.end(),
                     [](const Row& a, const Row& b) { return a.name < b.name; });
    std::vector<WindowInstance> out;
    for (std::size_t i = 0; i < rows.size();) {
        std::size_t j = i;
        std::vector<LimitPoint> points;
        for (; j < rows.size() && rows[j].name == rows[i].name; ++j)
            points.push_back(rows[j].point);
        auto grouped = WindowInstance::group(rows[i].name, points);
        std::move(grouped.begin(), grouped.end(), std::back_inserter(out));
        i = j;
    }
    return out;
}

std::optional<double> LimitHistory::cost(const PriceTable& prices,
                                         const std::vector<HistoryQuery::ModelUsage>& usage) {
    std::optional<double> out = 0.0;
    for (const auto& m : usage) {
        const auto c = prices.cost(m.model, m.usageClass, m.usage).total();
        out = out && c ? std::optional(*out + *c) : std::nullopt;
    }
    return out;
}

std::optional<LimitHistory::Usage> LimitHistory::usage(const LimitSpan& span,
                                                       const PriceTable& prices) const {
    return usage(justAfter(span.from), justAfter(span.to), prices);
}

std::optional<LimitHistory::Usage> LimitHistory::usage(Instant from, Instant to,
                                                       const PriceTable& prices) const {
    const auto models = query_.byModel(from, to);
    if (!models)
        return std::nullopt;
    Usage out;
    for (const auto& m : *models) {
        out.weight += m.usage.weight();
        out.replies += m.usage.replies;
    }
    out.cost = cost(prices, *models);
    return out;
}

std::optional<LimitRecord> LimitHistory::record(const PriceTable& prices, Instant now,
                                                SpanCache* cache, std::string_view only) const {
    // Every window but the 5-hour one looks back as far as the week.
    const double longest = LimitCalibration::lookbackSeconds(only.empty() ? "seven_day" : only);
    const auto all = instances(addSeconds(now, -longest), kDistantFuture);
    if (!all)
        return std::nullopt;
    LimitRecord out;
    for (std::size_t i = 0; i < all->size(); ++i) {
        const WindowInstance& instance = (*all)[i];
        if (!only.empty() && instance.name != only)
            continue;
        auto& calibration = out.calibration[instance.name];
        const Instant since = addSeconds(now, -LimitCalibration::lookbackSeconds(instance.name));
        for (const auto& span : LimitCalibration::spansOf(instance)) {
            if (span.from < since || span.to > now)
                continue;
            const auto key = std::pair(span.from, span.to);
            const auto cached = cache ? cache->find(key) : SpanCache::iterator();
            if (cache && cached != cache->end()) {
                calibration.add(span, cached->second.weight, cached->second.cost);
                continue;
            }
            const auto u = usage(span, prices);
            if (!u)
                return std::nullopt;
            calibration.add(span, u->weight, u->cost);
            // A reply may reach the history a pass after the reading it raised.
            if (cache && secondsBetween(span.to, now) >= kSettledSeconds)
                cache->emplace(key, *u);
        }
        if (i + 1 == all->size() || (*all)[i + 1].name != instance.name)
            out.latest.push_back(instance);
    }
    return out;
}

std::optional<double> LimitHistory::burnPerMin(Instant now) const {
    const auto models = query_.byModel(addSeconds(now, -kBurnMinutes * 60), now);
    if (!models)
        return std::nullopt;
    double weight = 0;
    for (const auto& m : *models)
        weight += m.usage.weight();
    return weight / kBurnMinutes;
}

} // namespace vellumkite
