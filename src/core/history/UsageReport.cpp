#include "UsageReport.hpp"

#include "HistoryQuery.hpp"
#include "PriceTable.hpp"

#include <algorithm>
#include <map>
#include <set>

namespace vellumkite {

namespace {

constexpr std::string_view kNames[] = {"daily", "weekly", "monthly", "chats", "projects", "models"};

// One model's usage in a row, and what it is worth.
struct Part {
    UsageTotals usage;
    PriceTable::Cost cost;
};
using ModelParts = std::map<std::string, Part, std::less<>>;

void add(ModelParts& parts, const PriceTable& prices, const std::string& model,
         const UsageClass& usageClass, const UsageTotals& usage) {
    auto& part = parts[std::string(PriceTable::reportId(model))];
    part.usage += usage;
    part.cost += prices.cost(model, usageClass, usage);
}

UsageReport::Cost costOf(const PriceTable::Cost& c, std::size_t unpricedModels) {
    return {c.total(), c.priced, c.fastUnpriced, unpricedModels};
}

UsageReport::Row row(std::string period, const ModelParts& models, bool byModel,
                     std::set<std::string>& unpriced, PriceTable::Cost& all) {
    UsageReport::Row row;
    row.period = std::move(period);
    PriceTable::Cost sum;
    std::size_t unpricedHere = 0;
    for (const auto& [model, part] : models) {
        row.usage += part.usage;
        row.models.push_back(model);
        sum += part.cost;
        if (!part.cost.complete) {
            unpriced.insert(model);
            ++unpricedHere;
        }
        if (byModel)
            row.byModel.push_back({model, part.usage, costOf(part.cost, !part.cost.complete)});
    }
    all += sum;
    row.cost = costOf(sum, unpricedHere);
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

    // Keyed by period, each with its usage per model; periods sort as their texts do.
    std::map<std::string, ModelParts> periods;
    if (options.kind != Kind::chats && options.kind != Kind::projects) {
        const auto days = query.days(options.since, options.until);
        if (!days)
            return std::nullopt;
        // Rows come a day at a time.
        std::optional<LocalDate> lastDate;
        std::string lastPeriod;
        for (const auto& d : *days) {
            if (d.date != lastDate) {
                lastDate = d.date;
                lastPeriod = options.kind == Kind::daily ? d.date.text()
                             : options.kind == Kind::weekly
                                 ? d.date.weekStart(options.firstWeekday).text()
                                 : d.date.monthText();
            }
            const auto period = options.kind == Kind::models
                                    ? std::string(PriceTable::reportId(d.model))
                                    : lastPeriod;
            add(periods[period], prices, d.model, d.usageClass, d.usage);
        }
    } else {
        const auto by =
            options.kind == Kind::chats ? HistoryQuery::By::session : HistoryQuery::By::project;
        const Instant from = options.since ? options.since->start() : kDistantPast;
        const Instant to = options.until ? options.until->plusDays(1).start() : kDistantFuture;
        const auto shares = query.shares(by, from, to);
        if (!shares)
            return std::nullopt;
        for (const auto& s : *shares)
            add(periods[s.key], prices, s.model, s.usageClass, s.usage);
    }

    std::set<std::string> unpriced;
    PriceTable::Cost all;
    for (const auto& [period, models] : periods)
        report.rows.push_back(row(period, models, options.byModel, unpriced, all));
    if (options.kind == Kind::chats || options.kind == Kind::projects ||
        options.kind == Kind::models)
        std::stable_sort(report.rows.begin(), report.rows.end(), [](const Row& a, const Row& b) {
            return a.usage.weight() > b.usage.weight();
        });
    for (const auto& r : report.rows)
        report.totals += r.usage;
    report.totalCost = costOf(all, unpriced.size());
    report.unpricedModels.assign(unpriced.begin(), unpriced.end());
    report.searchesUnpriced = all.searchesUnpriced;
    report.priceBook = prices.checked();

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
