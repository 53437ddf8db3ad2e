#pragma once

#include "Time.hpp"
#include "Tip.hpp"

#include <QString>
#include <vector>

namespace vellumkite {

class NotificationCenter;
class WritablePreferences;

// Turns keyed tips into desktop notifications: at most one per pass, and each key at most once in
// 24 hours. The keys already used live in the preferences under "firedNotifications" as a
// dictionary of key -> seconds since 1970, so the rule holds across restarts.
class Notifier {
public:
    static constexpr const char* kFiredKey = "firedNotifications";
    static constexpr double kMemorySeconds = 86400;

    // With no centre the notifier does nothing at all, not even read the preferences.
    Notifier(WritablePreferences& preferences, NotificationCenter* center,
             Clock clock = systemClock());

    // The tips of one pass, in the coach's order. Main thread only.
    void consider(const std::vector<Tip>& tips);

private:
    WritablePreferences& preferences_;
    NotificationCenter* center_;
    Clock clock_;
};

} // namespace vellumkite
