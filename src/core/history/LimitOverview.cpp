#include "LimitOverview.hpp"

namespace vellumkite {

std::optional<LimitOverview> LimitOverview::build(const SqliteDatabase& db,
                                                  const PriceTable& prices, Instant now,
                                                  LimitHistory::SpanCache* cache) {
    const LimitHistory history(db);
    const auto record = history.record(prices, now, cache);
    const double week = WindowInstance::lengthSeconds("seven_day");
    // A week that reset within the last four began up to five weeks ago.
    const auto instances = history.instances(addSeconds(now, -(kWeeks + 1) * week), kDistantFuture);
    if (!record || !instances)
        return std::nullopt;
    LimitOverview out;
    out.to = now;
    out.from = addSeconds(now, -kFiveHourDays * 86400.0);
    const double fiveHours = WindowInstance::lengthSeconds("five_hour");
    for (const auto& instance : *instances) {
        if (instance.name == "five_hour" && instance.resetsAt > out.from)
            out.fiveHour.push_back(
                {addSeconds(instance.resetsAt, -fiveHours), instance.resetsAt, instance.peak()});
        else if (instance.name == "seven_day" &&
                 instance.resetsAt > addSeconds(now, -(kWeeks - 1) * week))
            out.weeks.push_back(
                {addSeconds(instance.resetsAt, -week), instance.resetsAt, instance.readings});
    }
    if (out.weeks.size() > static_cast<std::size_t>(kWeeks))
        out.weeks.erase(out.weeks.begin(), out.weeks.end() - kWeeks);
    if (const auto it = record->calibration.find("five_hour"); it != record->calibration.end())
        out.fiveHourCalibration = it->second;
    if (const auto it = record->calibration.find("seven_day"); it != record->calibration.end())
        out.weeklyCalibration = it->second;
    return out;
}

} // namespace vellumkite
