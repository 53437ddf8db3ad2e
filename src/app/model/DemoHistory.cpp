#include "DemoHistory.hpp"

#include <array>
#include <cmath>

namespace vellumkite {

HistoryOverview DemoHistory::overview(Instant now) {
    HistoryOverview o;
    const LocalDate today = LocalDate::of(now);
    // Busy weekdays, quiet weekends, a holiday, a heavy sprint in the last week.
    constexpr std::array<double, HistoryOverview::kDays> kWeight = {
        1.1, 1.4, 0.2, 0.0, 1.6, 1.9, 1.2, 1.5, 1.3, 0.1, 0.3, 1.7, 2.1, 1.8, 1.4,
        0.0, 0.0, 0.0, 1.2, 1.6, 1.5, 2.0, 0.4, 0.2, 2.3, 2.6, 2.2, 2.9, 2.4, 1.3};
    constexpr double kMillion = 1e6;
    for (int i = 0; i < HistoryOverview::kDays; ++i) {
        HistoryOverview::Day d;
        d.date = today.plusDays(i - (HistoryOverview::kDays - 1));
        const double w = kWeight[static_cast<std::size_t>(i)] * kMillion;
        if (w > 0) {
            const double opus = i % 3 == 0 ? 0.55 : 0.35, haiku = 0.08, fable = 0.06,
                         other = i % 7 == 2 ? 0.04 : 0;
            const double parts[] = {opus, 1 - opus - haiku - fable - other, haiku, fable, 0, other};
            for (std::size_t f = 0; f < HistoryOverview::kFamilies; ++f) {
                d.weight[f] = w * parts[f];
                // Opus costs about twice what Sonnet does per unit of weight.
                constexpr double kPerMillion[] = {3.4, 2.0, 0.7, 6.8, 6.8, 0};
                const double perMillion = kPerMillion[f];
                d.cost[f] = d.weight[f] / kMillion * perMillion;
            }
            d.costComplete = other == 0;
            d.usage.replies = static_cast<std::int64_t>(w / 9000);
            d.usage.cacheRead = static_cast<std::int64_t>(w * 4.1);
            d.usage.cacheWrite = static_cast<std::int64_t>(w * 0.12);
            d.usage.output = static_cast<std::int64_t>(w * 0.03);
            d.usage.input = static_cast<std::int64_t>(w * 0.001);
            d.models = {"claude-opus-5-5", "claude-sonnet-5-5", "claude-haiku-5-5",
                        "claude-fable-5-1"};
            if (other > 0)
                d.models.push_back("claude-future-9");
        }
        o.days.push_back(std::move(d));
    }
    o.medianWeight = 1.5 * kMillion;
    o.medianCost = 3.6;
    o.thisWeek = {9.9 * kMillion, 25.30};
    o.lastWeek = {7.8 * kMillion, 18.90};
    o.weightChange = (9.9 / 7.8 - 1) * 100;
    o.costChange = (25.30 / 18.90 - 1) * 100;
    o.pace = HistoryOverview::Pace{true, "On pace to hit the weekly limit at Fri 4:00 PM",
                                   "It resets at Sat 9:00 AM. Slow down: finish this task, /clear, "
                                   "and use smaller chats."};
    o.monthName = today.monthText();
    const double month = 38.0 * kMillion;
    o.topProjects = {{"/home/you/work/vellumkite", 17.1 * kMillion, 17.1 / 38, 41.20},
                     {"/home/you/work/website", 8.4 * kMillion, 8.4 / 38, 18.75},
                     {"/home/you/notes", 5.2 * kMillion, 5.2 / 38, 9.80},
                     {"/home/you/work/infra", 4.1 * kMillion, 4.1 / 38, 8.95},
                     {"/home/you/scratch", 3.2 * kMillion, 3.2 / 38, std::nullopt}};
    o.topModels = {{"claude-sonnet-4-5-20250929", 0.52 * month, 0.52, 39.40, "Sonnet"},
                   {"claude-opus-4-5-20251101", 0.39 * month, 0.39, 44.05, "Opus"},
                   {"claude-haiku-4-5-20251001", 0.08 * month, 0.08, 2.10, "Haiku"},
                   {"claude-future-9", 0.01 * month, 0.01, std::nullopt, ""}};
    o.unpricedModels = {"claude-future-9"};
    o.limits = limits(now);
    return o;
}

LimitOverview DemoHistory::limits(Instant now) {
    LimitOverview l;
    l.to = now;
    l.from = addSeconds(now, -LimitOverview::kFiveHourDays * 86400.0);
    // Two or three 5-hour windows a working day, fuller in the sprint at the end of the week.
    constexpr std::array<std::array<double, 3>, 7> kPeaks = {{{38, 61, 0},
                                                              {45, 72, 20},
                                                              {0, 0, 0},
                                                              {52, 88, 0},
                                                              {64, 97, 31},
                                                              {71, 100, 0},
                                                              {58, 0, 0}}};
    constexpr std::array<double, 3> kStartHours = {9, 14.5, 20};
    const Instant today = startOfLocalDay(now);
    for (int d = 0; d < 7; ++d)
        for (std::size_t w = 0; w < kStartHours.size(); ++w) {
            const double peak = kPeaks[static_cast<std::size_t>(d)][w];
            const Instant start = addSeconds(today, (d - 6) * 86400.0 + kStartHours[w] * 3600);
            if (peak > 0 && start < now)
                l.fiveHour.push_back({start, addSeconds(start, 5 * 3600), peak});
        }
    // Four weeks, each read every six hours: three that reset at 64, 81 and 97 %, and this one.
    const Instant reset = addSeconds(today, 3 * 86400.0 + 9 * 3600);
    constexpr std::array<double, 4> kFinal = {64, 81, 97, 70};
    for (int k = 0; k < LimitOverview::kWeeks; ++k) {
        LimitOverview::Week week;
        week.resetsAt = addSeconds(reset, (k - 3) * 7 * 86400.0);
        week.start = addSeconds(week.resetsAt, -7 * 86400.0);
        for (int h = 0; h <= 7 * 24; h += 6) {
            const Instant at = addSeconds(week.start, h * 3600.0);
            if (!(at < now))
                break;
            // Quiet nights, busier days: a rise that is steeper in the middle of the week.
            const double x = h / (7.0 * 24);
            week.readings.push_back(
                {at, std::round(kFinal[static_cast<std::size_t>(k)] * x * (1.3 - 0.3 * x)),
                 week.resetsAt});
        }
        l.weeks.push_back(std::move(week));
    }
    l.fiveHourCalibration = {42, 96, 96 * 2190.0, 96 * 0.0066};
    l.weeklyCalibration = {63, 63, 63 * 18400.0, 63 * 0.055};
    return l;
}

} // namespace vellumkite
