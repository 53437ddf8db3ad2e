#include "LimitCalibration.hpp"

namespace vellumkite {

namespace {

// Percentages such as 34.3 and 35.3 differ by a hair less than a point in binary.
constexpr double kSlack = 1e-9;

} // namespace

void LimitCalibration::add(const LimitSpan& span, double spanWeight,
                           std::optional<double> spanCost) {
    ++spans;
    rise += span.rise;
    weight += spanWeight;
    cost = cost && spanCost ? std::optional(*cost + *spanCost) : std::nullopt;
}

std::optional<double> LimitCalibration::weightPerPercent() const {
    if (!known())
        return std::nullopt;
    return weight / rise;
}

std::optional<double> LimitCalibration::costPerPercent() const {
    if (!known() || !cost)
        return std::nullopt;
    return *cost / rise;
}

std::vector<LimitSpan> LimitCalibration::spansOf(const WindowInstance& instance) {
    std::vector<LimitSpan> out;
    const auto& r = instance.readings;
    std::size_t start = 0;
    for (std::size_t i = 1; i < r.size(); ++i) {
        const double rise = r[i].percent - r[start].percent;
        if (rise + kSlack >= kMinRise && r[i].at > r[start].at) {
            out.push_back({r[start].at, r[i].at, rise});
            start = i;
        }
    }
    return out;
}

double LimitCalibration::lookbackSeconds(std::string_view window) {
    return window == "five_hour" ? 14 * 86400.0 : 8 * 7 * 86400.0;
}

} // namespace vellumkite
