#include "HistoryOverview.hpp"

#include "Format.hpp"
#include "HistoryQuery.hpp"
#include "PriceTable.hpp"

#include <algorithm>
#include <ctime>
#include <map>

namespace vellumkite {

namespace {

constexpr std::array<std::string_view, HistoryOverview::kFamilies> kFamilyNames = {
    "Opus", "Sonnet", "Haiku", "Fable", "Mythos", "Other"};

double median(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

std::optional<double> change(double now, double before) {
    if (!(before > 0))
        return std::nullopt;
    return (now - before) / before * 100.0;
}

// Every model whose usage has no price, once.
void noteUnpriced(std::vector<std::string>& unpriced, std::string_view model,
                  const PriceTable::Cost& cost) {
    if (!cost.complete && std::find(unpriced.begin(), unpriced.end(), model) == unpriced.end())
        unpriced.emplace_back(model);
}

// A span's weight and cost from its usage per model and class.
HistoryOverview::Span span(const std::vector<HistoryQuery::ModelUsage>& rows,
                           const PriceTable& prices, std::vector<std::string>& unpriced) {
    HistoryOverview::Span out;
    PriceTable::Cost sum;
    std::vector<std::string> models;
    for (const auto& r : rows) {
        out.weight += r.usage.weight();
        const auto c = prices.cost(r.model, r.usageClass, r.usage);
        sum += c;
        noteUnpriced(models, PriceTable::reportId(r.model), c);
        noteUnpriced(unpriced, PriceTable::reportId(r.model), c);
    }
    out.cost = sum.total();
    out.pricedCost = sum.priced;
    out.unpricedModels = models.size();
    return out;
}

// Adds to a share; its cost stays known only while every part has one.
void addTo(std::map<std::string, HistoryOverview::Share>& shares, std::string_view name,
           double weight, const PriceTable::Cost& cost) {
    auto [it, fresh] = shares.try_emplace(std::string(name));
    if (fresh)
        it->second.cost = 0.0;
    it->second.weight += weight;
    it->second.cost = it->second.cost && cost.complete
                          ? std::optional(*it->second.cost + cost.priced)
                          : std::nullopt;
}

std::vector<HistoryOverview::Share> top(std::map<std::string, HistoryOverview::Share> all,
                                        double total) {
    std::vector<HistoryOverview::Share> out;
    for (auto& [name, share] : all) {
        share.name = name;
        share.share = total > 0 ? share.weight / total : 0;
        out.push_back(std::move(share));
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const auto& a, const auto& b) { return a.weight > b.weight; });
    if (out.size() > 5)
        out.resize(5);
    return out;
}

} // namespace

HistoryOverview::Family HistoryOverview::familyNamed(std::string_view family) {
    for (std::size_t f = 0; f + 1 < kFamilies; ++f)
        if (family == kFamilyNames[f])
            return static_cast<Family>(f);
    return Family::other;
}

std::string_view HistoryOverview::nameOf(Family family) {
    return kFamilyNames[static_cast<std::size_t>(family)];
}

double HistoryOverview::Day::totalWeight() const {
    double sum = 0;
    for (const double w : weight)
        sum += w;
    return sum;
}

double HistoryOverview::Day::totalCost() const {
    double sum = 0;
    for (const double c : cost)
        sum += c;
    return sum;
}

bool HistoryOverview::empty() const {
    return std::all_of(days.begin(), days.end(), [](const Day& d) { return d.usage.replies == 0; });
}

Instant HistoryOverview::weekBefore(Instant t) {
    using namespace std::chrono;
    const auto secs = floor<seconds>(t);
    const std::time_t whole = secs.time_since_epoch().count();
    std::tm local{};
    if (!localtime_r(&whole, &local))
        return addSeconds(t, -7 * 86400.0);
    local.tm_mday -= 7;
    local.tm_isdst = -1; // the clock as it read then, summer or winter
    const std::time_t before = std::mktime(&local);
    return Instant{duration_cast<microseconds>(seconds{before})} + (t - secs);
}

std::optional<HistoryOverview::Pace>
HistoryOverview::weeklyPace(const Limits::Window& weekly, Instant now,
                            const TimeOfDayFormatter& dayAndTime) {
    const double p = weekly.usedPercent;
    const double elapsed = secondsBetween(addSeconds(weekly.resetsAt, -7 * 86400.0), now) / 3600;
    // As for the 5-hour limit: below 10 % there is too little spent to project from.
    if (!(p >= 10) || !(elapsed > 0) || !(weekly.resetsAt > now))
        return std::nullopt;
    const std::string reset = dayAndTime(weekly.resetsAt);
    if (p >= 100)
        return Pace{true, "100% of your weekly limit", "It resets at " + reset + "."};
    const double hoursLeft = (100 - p) / (p / elapsed);
    const Instant projected = addSeconds(now, hoursLeft * 3600);
    if (projected < weekly.resetsAt)
        return Pace{true, "On pace to hit the weekly limit at " + dayAndTime(projected),
                    "It resets at " + reset +
                        ". Slow down: finish this task, /clear, and use smaller chats."};
    return Pace{false, "On pace to stay under the weekly limit",
                "At this week's rate it would reach 100% at " + dayAndTime(projected) +
                    ", after it resets at " + reset + "."};
}

std::optional<HistoryOverview> HistoryOverview::build(const HistoryQuery& query,
                                                      const PriceTable& prices, Instant now,
                                                      const std::optional<Limits::Window>& weekly,
                                                      const TimeOfDayFormatter& dayAndTime) {
    using namespace std::chrono;
    HistoryOverview out;
    const LocalDate today = LocalDate::of(now);
    const LocalDate first = today.plusDays(-(kDays - 1));
    const LocalDate monthStart{today.ymd.year() / today.ymd.month() / 1};
    out.monthName = today.monthText();
    out.days.resize(kDays);
    for (int i = 0; i < kDays; ++i)
        out.days[static_cast<std::size_t>(i)].date = first.plusDays(i);

    const auto days = query.days(std::min(first, monthStart), today);
    if (!days)
        return std::nullopt;
    std::map<std::string, Share> monthModels;
    double monthWeight = 0;
    for (const auto& q : *days) {
        const LocalDate date = q.date;
        const double weight = q.usage.weight();
        const auto cost = prices.cost(q.model, q.usageClass, q.usage);
        const std::string_view model = PriceTable::reportId(q.model);
        if (date >= first) {
            Day& day = out.days[static_cast<std::size_t>(
                (sys_days{date.ymd} - sys_days{first.ymd}).count())];
            const auto f = static_cast<std::size_t>(familyNamed(prices.family(q.model)));
            day.weight[f] += weight;
            day.cost[f] += cost.priced;
            day.costComplete = day.costComplete && cost.complete;
            day.usage += q.usage;
            if (std::find(day.models.begin(), day.models.end(), model) == day.models.end())
                day.models.emplace_back(model);
            noteUnpriced(out.unpricedModels, model, cost);
        }
        if (date >= monthStart) {
            addTo(monthModels, model, weight, cost);
            monthWeight += weight;
            noteUnpriced(out.unpricedModels, model, cost);
        }
    }
    std::vector<double> weights, costs;
    for (const auto& d : out.days)
        if (d.usage.replies > 0) {
            weights.push_back(d.totalWeight());
            costs.push_back(d.totalCost());
        }
    out.medianWeight = median(weights);
    out.medianCost = median(costs);

    const LocalDate weekStart = today.weekStart(1);
    const auto thisWeek = query.byModel(weekStart.start(), now);
    const auto lastWeek = query.byModel(weekStart.plusDays(-7).start(), weekBefore(now));
    if (!thisWeek || !lastWeek)
        return std::nullopt;
    out.thisWeek = span(*thisWeek, prices, out.unpricedModels);
    out.lastWeek = span(*lastWeek, prices, out.unpricedModels);
    out.weightChange = change(out.thisWeek.weight, out.lastWeek.weight);
    if (out.thisWeek.cost && out.lastWeek.cost)
        out.costChange = change(*out.thisWeek.cost, *out.lastWeek.cost);
    if (weekly)
        out.pace = weeklyPace(*weekly, now, dayAndTime);

    const auto projects =
        query.shares(HistoryQuery::By::project, monthStart.start(), today.plusDays(1).start());
    if (!projects)
        return std::nullopt;
    std::map<std::string, Share> byProject;
    for (const auto& s : *projects)
        addTo(byProject, s.key, s.usage.weight(), prices.cost(s.model, s.usageClass, s.usage));
    out.topProjects = top(std::move(byProject), monthWeight);
    out.topModels = top(std::move(monthModels), monthWeight);
    for (auto& m : out.topModels)
        m.family = prices.family(m.name);
    std::sort(out.unpricedModels.begin(), out.unpricedModels.end());
    out.otherMachines = query.otherMachines();
    return out;
}

} // namespace vellumkite
