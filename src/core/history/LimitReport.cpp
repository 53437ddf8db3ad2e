#include "LimitReport.hpp"

#include <algorithm>

namespace vellumkite {

std::pair<Instant, Instant> LimitReport::inside(const WindowInstance& instance, Instant from,
                                                Instant to, Instant now) {
    const double length = WindowInstance::lengthSeconds(instance.name);
    const Instant start =
        length > 0 ? addSeconds(instance.resetsAt, -length) : instance.readings.front().at;
    return {std::max(start, from), std::min({instance.resetsAt, to, now})};
}

std::optional<LimitReport> LimitReport::build(const SqliteDatabase& db, const PriceTable& prices,
                                              const Options& options, Instant now) {
    const LimitHistory history(db);
    const Instant from = options.since ? options.since->start() : kDistantPast;
    const Instant to = options.until ? options.until->plusDays(1).start() : kDistantFuture;
    const auto instances = history.instances(from, to);
    if (!instances)
        return std::nullopt;

    LimitReport out;
    for (const auto& instance : *instances) {
        Window w{instance, {}};
        const auto [start, end] = inside(instance, from, to, now);
        if (start < end) {
            const auto u = history.usage(start, end, prices);
            if (!u)
                return std::nullopt;
            w.usage = *u;
        } else {
            w.usage.cost = 0.0;
        }
        out.windows.push_back(std::move(w));
    }

    const auto record = history.record(prices, now);
    const auto burn = history.burnPerMin(now);
    if (!record || !burn)
        return std::nullopt;
    out.calibration = record->calibration;
    out.projections = record->project(now, *burn);

    const LocalDate today = LocalDate::of(now);
    Instant first = kDistantFuture;
    for (const auto& w : out.windows)
        first = std::min(first, w.instance.readings.front().at);
    out.since = options.since             ? options.since->text()
                : first != kDistantFuture ? LocalDate::of(first).text()
                                          : today.text();
    out.until = options.until ? options.until->text() : today.text();
    return out;
}

} // namespace vellumkite
