#pragma once

#include "LimitCalibration.hpp"
#include "LimitProjection.hpp"
#include "WindowInstance.hpp"

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vellumkite {

// What the kept readings tell the live figures: each window's calibration and its latest
// instance.
struct LimitRecord {
    std::map<std::string, LimitCalibration, std::less<>> calibration; // by window name
    std::vector<WindowInstance> latest; // each window's last instance, by name

    bool operator==(const LimitRecord&) const = default;

    std::optional<double> weightPerPercent(std::string_view window) const;
    // The projection of each window whose latest instance resets after `now`.
    std::vector<LimitProjection> project(Instant now, double burnPerMin) const;
};

} // namespace vellumkite
