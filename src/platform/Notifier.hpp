#pragma once

#include "FailureNote.hpp"
#include "Time.hpp"
#include "Tip.hpp"

#include <QString>
#include <vector>

namespace vellumkite {

class NotificationCenter;
class WritablePreferences;

// Turns keyed tips into desktop notifications: at most one per pass, and each key at most once in
// 24 hours (or until the tip's notifyUntil, when that is later). The keys already used live in the
// preferences (PreferenceKeys::firedNotifications) with the time each was used, so the rule holds
// across restarts.
class Notifier {
public:
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
    FailureNote saveFailure_{QStringLiteral("save which notifications were shown")};
};

} // namespace vellumkite
