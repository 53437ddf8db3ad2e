#pragma once

#include "CoachInput.hpp"
#include "Environment.hpp"
#include "LimitRecord.hpp"
#include "Snapshot.hpp"
#include "Time.hpp"
#include "TimeOfDay.hpp"

#include <filesystem>

namespace vellumkite {

class Preferences;
class UsageStore;

// One refresh pass: read what was appended to the logs, compute the day's figures, load the
// limits, read the thresholds afresh and ask the coach. The app's store thread and the terminal
// tool both run this; nothing else computes these figures.
struct RefreshPass {
    // How far back the store keeps replies: a week of chats, and a day more so that "today"
    // and the 5-hour window are whole in every time zone.
    static constexpr double kLookbackSeconds = 8 * 86400;

    struct Inputs {
        std::filesystem::path limitsFile = Limits::file();
        const Preferences* preferences = nullptr; // none: no threshold overrides from there
        Environment environment = Environment::process();
        Clock clock = systemClock();
        TimeOfDayFormatter timeOfDay = defaultTimeOfDay();
        // What the kept readings tell; none: nothing is known of them.
        const LimitRecord* limitRecord = nullptr;
    };

    // Refreshes a store that reads its own folders, then takes the snapshot.
    static Snapshot run(UsageStore& store, const Inputs& inputs);
    // The figures of a store as it stands (fed by the caller's log pass), with the limits, the
    // thresholds and the coach's tips.
    static Snapshot snapshot(const UsageStore& store, const Inputs& inputs);

    // The figures the coach judges, from the store as it stands and what the kept readings
    // tell.
    static CoachInput coachInput(const UsageStore& store, const std::optional<Limits>& limits,
                                 Instant now, const LimitRecord* record = nullptr);

    // The current chat's next message is taken to weigh what its last few replies did on
    // average: a single reply may have written a long answer or a large file.
    static constexpr std::size_t kRecentReplies = 5;
    static double nextMessageWeight(const UsageStore& store,
                                    const std::optional<ChatSummary>& chat);

    // The 30 per-minute buckets of the last half hour ending at `now`, oldest first.
    static std::vector<double> sparkline(const UsageStore& store, Instant now);
};

} // namespace vellumkite
