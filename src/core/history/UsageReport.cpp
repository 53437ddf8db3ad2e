#include "UsageReport.hpp"

#include "HistoryQuery.hpp"
#include "PriceTable.hpp"

#include <algorithm>
#include <map>
#include <set>
#include <unordered_map>

namespace vellumkite {

namespace {

constexpr std::string_view kNames[] = {"daily", "weekly", "monthly", "chats", "projects", "models"};

// One row's usage per model, before the row is priced.
using ModelUsage = std::map<std::string, UsageTotals, std::less<>>;

UsageReport::Row priced(std::string period, const ModelUsage& models, const PriceTable& prices,
                        bool byModel, std::set<std::string>& unpriced) {
    UsageReport::Row row;
    row.period = std::move(period);
    std::optional<double> cost = 0.0;
    for (const auto& [model, usage] : models) {
        row.usage += usage;
        row.models.push_back(model);
        const auto c = prices.cost(model, usage);
        if (!c)
            unpriced.insert(model);
        cost = cost && c ? std::optional(*cost + *c) : std::nullopt;
        if (byModel)
            row.byModel.push_back({model, usage, c});
    }
    row.cost = cost;
    std::stable_sort(row.byModel.begin(), row.byModel.end(), [](const auto& a, const auto& b) {
        return a.usage.weight() > b.usage.weight();
    });
    return row;
}

} // namespace

std::optional<UsageReport::Kind> UsageReport::kindOf(std::string_view name) {
    for (std::size_t i = 0; i < std::size(kNames); ++i)
        if (kNames[i] == name)
            return static_cast<Kind>(i);
    return std::nullopt;
}

std::string_view UsageReport::nameOf(Kind kind) {
    return kNames[static_cast<std::size_t>(kind)];
}

std::optional<UsageReport> UsageReport::build(const HistoryQuery& query, const PriceTable& prices,
                                              const Options& options, Instant now) {
    UsageReport report;
    report.kind = options.kind;
    const LocalDate today = LocalDate::of(now);
    const Instant from = options.since ? options.since->start() : kDistantPast;
    const Instant to = options.until ? options.until->plusDays(1).start() : kDistantFuture;

    // Keyed by period, each with its usage per model; periods sort as their texts do.
    std::map<std::string, ModelUsage> periods;
    if (options.kind != Kind::chats && options.kind != Kind::projects) {
        const auto quarters = query.quarters(from, to);
        if (!quarters)
            return std::nullopt;
        std::unordered_map<std::int64_t, std::string> periodOf;
        for (const auto& q : *quarters) {
            auto [it, fresh] = periodOf.try_emplace(q.index);
            if (fresh) {
                const auto day = LocalDate::of(Instant{std::chrono::minutes(15 * q.index)});
                it->second = options.kind == Kind::daily ? day.text()
                             : options.kind == Kind::weekly
                                 ? day.weekStart(options.firstWeekday).text()
                                 : day.monthText();
            }
            periods[options.kind == Kind::models ? q.model : it->second][q.model] += q.usage;
        }
    } else {
        const auto by =
            options.kind == Kind::chats ? HistoryQuery::By::session : HistoryQuery::By::project;
        const auto shares = query.shares(by, from, to);
        if (!shares)
            return std::nullopt;
        for (const auto& s : *shares)
            periods[s.key][s.model] += s.usage;
    }

    std::set<std::string> unpriced;
    for (const auto& [period, models] : periods)
        report.rows.push_back(priced(period, models, prices, options.byModel, unpriced));
    if (options.kind == Kind::chats || options.kind == Kind::projects ||
        options.kind == Kind::models)
        std::stable_sort(report.rows.begin(), report.rows.end(), [](const Row& a, const Row& b) {
            return a.usage.weight() > b.usage.weight();
        });

    report.totalCost = 0.0;
    for (const auto& row : report.rows) {
        report.totals += row.usage;
        report.totalCost = report.totalCost && row.cost
                               ? std::optional(*report.totalCost + *row.cost)
                               : std::nullopt;
    }
    report.unpricedModels.assign(unpriced.begin(), unpriced.end());

    // Without a first day asked for, the report starts at the history's.
    std::optional<Instant> first;
    if (!options.since)
        first = query.firstReply();
    report.since = options.since ? options.since->text()
                   : first       ? LocalDate::of(*first).text()
                                 : today.text();
    report.until = options.until ? options.until->text() : today.text();
    return report;
}

} // namespace vellumkite
