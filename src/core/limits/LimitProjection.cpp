#include "LimitProjection.hpp"

#include <algorithm>
#include <cmath>

namespace vellumkite {

namespace {

constexpr double kSlack = 1e-9;

// The time the readings reach 100 % at the pace of their last hour; nothing when they did not
// rise by a point in it.
std::optional<Instant> fromReadings(const WindowInstance& instance, Instant now) {
    const auto& r = instance.readings;
    const Instant since = addSeconds(now, -LimitProjection::kRecentSeconds);
    const auto first =
        std::find_if(r.begin(), r.end(), [&](const auto& p) { return p.at >= since; });
    if (first == r.end() || first + 1 == r.end())
        return std::nullopt;
    const auto& last = r.back();
    const double rise = last.percent - first->percent;
    const double seconds = secondsBetween(first->at, last.at);
    if (!(rise + kSlack >= LimitProjection::kMinRise) || !(seconds > 0))
        return std::nullopt;
    return addSeconds(last.at, (100 - last.percent) * seconds / rise);
}

} // namespace

std::optional<LimitProjection> LimitProjection::of(const WindowInstance& instance, Instant now,
                                                   double burnPerMin,
                                                   std::optional<double> weightPerPercent) {
    if (instance.readings.empty() || !(instance.resetsAt > now))
        return std::nullopt;
    const auto& last = instance.readings.back();
    LimitProjection out{instance.name, last.percent, last.at, instance.resetsAt, std::nullopt};
    if (last.percent >= 100) {
        // Full already: since the first reading that said so.
        const auto full = std::find_if(instance.readings.begin(), instance.readings.end(),
                                       [](const auto& p) { return p.percent >= 100; });
        out.fullAt = full->at;
    } else if (const auto t = fromReadings(instance, now)) {
        out.fullAt = *t;
    } else if (weightPerPercent && *weightPerPercent > 0 && burnPerMin > 0) {
        const double minutes = (100 - last.percent) * *weightPerPercent / burnPerMin;
        if (std::isfinite(minutes))
            out.fullAt = addSeconds(now, minutes * 60);
    }
    if (out.fullAt && !(*out.fullAt < out.resetsAt))
        out.fullAt.reset();
    return out;
}

bool LimitProjection::fullWellBeforeReset() const {
    return fullAt && secondsBetween(*fullAt, resetsAt) >= kWarnBeforeResetSeconds;
}

} // namespace vellumkite
