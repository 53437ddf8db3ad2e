#include "WindowInstance.hpp"

#include <algorithm>
#include <cmath>

namespace vellumkite {

double WindowInstance::peak() const {
    double out = 0;
    for (const auto& r : readings)
        out = std::max(out, r.percent);
    return out;
}

std::vector<WindowInstance> WindowInstance::group(std::string_view name,
                                                  const std::vector<LimitPoint>& readings) {
    std::vector<WindowInstance> out;
    for (const auto& r : readings) {
        if (out.empty() ||
            !(std::abs(secondsBetween(out.back().resetsAt, r.resetsAt)) < kSameResetSeconds))
            out.push_back({std::string(name), r.resetsAt, {}});
        out.back().readings.push_back(r);
    }
    return out;
}

double WindowInstance::lengthSeconds(std::string_view name) {
    if (name == "five_hour")
        return 5 * 3600;
    if (name == "seven_day" || name.starts_with("seven_day_"))
        return 7 * 86400;
    return 0;
}

std::string WindowInstance::label(std::string_view name) {
    if (name == "five_hour")
        return "5-hour";
    if (name == "seven_day")
        return "weekly";
    std::string out(name);
    std::replace(out.begin(), out.end(), '_', ' ');
    return out;
}

} // namespace vellumkite
