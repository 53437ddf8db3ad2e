#include "LimitRecord.hpp"

namespace vellumkite {

std::optional<double> LimitRecord::weightPerPercent(std::string_view window) const {
    const auto it = calibration.find(window);
    return it == calibration.end() ? std::nullopt : it->second.weightPerPercent();
}

std::vector<LimitProjection> LimitRecord::project(Instant now, double burnPerMin) const {
    std::vector<LimitProjection> out;
    for (const auto& instance : latest)
        if (auto p =
                LimitProjection::of(instance, now, burnPerMin, weightPerPercent(instance.name)))
            out.push_back(std::move(*p));
    return out;
}

} // namespace vellumkite
