#pragma once

#include "Time.hpp"
#include "WindowInstance.hpp"

#include <optional>
#include <string>

namespace vellumkite {

// When the current instance of a window reaches 100 %: from the rise of its official readings
// over the last hour when they rose, else from the live burn over what one percent weighs.
struct LimitProjection {
    static constexpr double kRecentSeconds = 3600;
    static constexpr double kMinRise = 1;
    // A projection this long before the reset is worth a notification.
    static constexpr double kWarnBeforeResetSeconds = 15 * 60;

    std::string window;
    double percent = 0; // the last reading's
    Instant at;         // when it was read
    Instant resetsAt;
    std::optional<Instant> fullAt; // nothing when the window resets first or nothing rises

    bool operator==(const LimitProjection&) const = default;

    // For an instance whose reset is still ahead of `now`; nothing otherwise. `burnPerMin`: the
    // weight per minute of the last 15 minutes; `weightPerPercent`: the window's calibration.
    static std::optional<LimitProjection> of(const WindowInstance& instance, Instant now,
                                             double burnPerMin,
                                             std::optional<double> weightPerPercent);

    // Full at least kWarnBeforeResetSeconds before the reset.
    bool fullWellBeforeReset() const;
};

} // namespace vellumkite
