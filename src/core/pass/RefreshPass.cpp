#include "RefreshPass.hpp"

#include "Coach.hpp"
#include "CoachInput.hpp"
#include "Format.hpp"
#include "Preferences.hpp"
#include "Thresholds.hpp"
#include "UsageStore.hpp"

#include <algorithm>

namespace vellumkite {

std::optional<Tip> Snapshot::tip() const {
    if (tips.empty())
        return std::nullopt;
    return tips.front();
}

bool Snapshot::looksSame(const Snapshot& later, Instant shown, Instant now) const {
    if (!(*this == later))
        return false;
    // Minutes between an instant and the clock, as the views count them.
    const auto sameMinutes = [&](Instant t) {
        std::int64_t a, b;
        return !__builtin_sub_overflow(shown.time_since_epoch().count(),
                                       t.time_since_epoch().count(), &a) &&
               !__builtin_sub_overflow(now.time_since_epoch().count(), t.time_since_epoch().count(),
                                       &b) &&
               a / 60'000'000 == b / 60'000'000;
    };
    if (currentChat && !sameMinutes(currentChat->lastTime))
        return false;
    for (const auto& c : topChats)
        if (!sameMinutes(c.lastTime))
            return false;
    if (limits)
        for (const auto& w : {limits->fiveHour, limits->sevenDay})
            if (w && !sameMinutes(w->resetsAt))
                return false;
    return true;
}

std::string menuTitle(bool loaded, const std::optional<Limits>& limits,
                      const std::optional<ChatSummary>& currentChat) {
    if (!loaded)
        return "\u2026";
    if (limits && limits->fiveHour)
        return Format::percent(limits->fiveHour->usedPercent);
    if (currentChat)
        return Format::tokens(currentChat->size);
    return "\u2013";
}

std::vector<double> RefreshPass::sparkline(const UsageStore& store, Instant now) {
    constexpr auto n = static_cast<std::int64_t>(Snapshot::kSparklineMinutes);
    std::vector<double> buckets(Snapshot::kSparklineMinutes, 0.0);
    for (const Turn& t : store.turns(addSeconds(now, -60.0 * n))) {
        std::int64_t ageUs;
        if (__builtin_sub_overflow(now.time_since_epoch().count(),
                                   t.time.time_since_epoch().count(), &ageUs))
            continue;
        // Whole minutes of age, truncated toward zero. A turn a minute or more in the future
        // (a clock set differently) counts in the current minute rather than being lost.
        const std::int64_t k = std::clamp<std::int64_t>(ageUs / 60'000'000, 0, n - 1);
        buckets[static_cast<std::size_t>(n - 1 - k)] += t.weight();
    }
    return buckets;
}

double RefreshPass::nextMessageWeight(const UsageStore& store,
                                      const std::optional<ChatSummary>& chat) {
    if (!chat)
        return 0;
    std::vector<double> weights;
    // Its last few replies fall in its last hour, unless it paused mid-task: then fewer count.
    for (const Turn& t : store.turns(addSeconds(chat->lastTime, -3600)))
        if (t.sessionId == chat->sessionId)
            weights.push_back(t.weight());
    const std::size_t n = std::min(weights.size(), kRecentReplies);
    if (n == 0)
        return 0;
    double sum = 0;
    for (std::size_t i = weights.size() - n; i < weights.size(); ++i)
        sum += weights[i];
    return sum / static_cast<double>(n);
}

CoachInput RefreshPass::coachInput(const UsageStore& store, const std::optional<Limits>& limits,
                                   Instant now, const LimitRecord* record) {
    CoachInput in;
    in.now = now;
    in.currentChat = store.currentChat();
    in.burnPerMin = store.burnRate(15); // counts back from the clock, not from `now`
    const Instant today = startOfLocalDay(now);
    in.toolEaters = store.toolEaters(today);
    in.todayWeight = store.weightSince(today);
    if (limits && limits->fiveHour) {
        in.fiveHour = limits->fiveHour;
        // From the start of the current 5-hour window.
        in.fiveHourWeight = store.weightSince(addSeconds(limits->fiveHour->resetsAt, -18000));
    }
    if (record) {
        in.weightPerPercent = record->weightPerPercent("five_hour");
        in.projections = record->project(now, in.burnPerMin);
    }
    in.nextMessageWeight = nextMessageWeight(store, in.currentChat);
    return in;
}

Snapshot RefreshPass::run(UsageStore& store, const Inputs& in) {
    store.refresh();
    return snapshot(store, in);
}

Snapshot RefreshPass::snapshot(const UsageStore& store, const Inputs& in) {
    Snapshot s;
    const Instant today = startOfLocalDay(in.clock());
    auto chats = store.chats(today);
    auto eaters = store.toolEaters(today);
    s.currentChat = store.currentChat();
    s.burnPerMin = store.burnRate(15);
    const Instant now = in.clock();
    s.sparkline = sparkline(store, now);
    s.limits = Limits::load(in.limitsFile, in.clock);
    const CoachInput input = coachInput(store, s.limits, now, in.limitRecord);
    s.percentPerMessage = input.percentPerMessage();
    s.projections = input.projections;
    const MapPreferences none;
    const Thresholds thresholds =
        Thresholds::load(in.preferences ? *in.preferences : none, in.environment);
    s.tips = Coach::tips(input, thresholds, in.timeOfDay);

    for (const auto& c : chats)
        s.todayWeight += c.weight;
    if (chats.size() > Snapshot::kTopChats)
        chats.resize(Snapshot::kTopChats);
    if (eaters.size() > Snapshot::kToolEaters)
        eaters.resize(Snapshot::kToolEaters);
    s.topChats = std::move(chats);
    s.toolEaters = std::move(eaters);
    return s;
}

} // namespace vellumkite
