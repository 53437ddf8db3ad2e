#include "Coach.hpp"

#include "Format.hpp"
#include "ToolCategory.hpp"
#include "Turn.hpp"
#include "WindowInstance.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <optional>
#include <utility>

namespace vellumkite {

namespace {

using Advice = std::pair<std::string_view, std::string_view>;

// Built at compile time, so concurrent first use needs no guard and reading never allocates.
constexpr std::array<Advice, 8> kToolAdvice{{
    {ToolCategory::kBrowser, "Screenshots are big and stay in the chat. Ask Claude to use "
                             "read_page or get_page_text instead of screenshots."},
    {ToolCategory::kScreenControl, "Every screenshot stays in the chat. Ask for fewer "
                                   "screenshots, or zoom into just the part that matters."},
    {ToolCategory::kSimulator, "Simulator screenshots stay in the chat. Ask for fewer of them, "
                               "only when checking something visual."},
    {ToolCategory::kFileReads, "Whole files stay in the chat. Ask Claude to read only the lines "
                               "it needs, or to search first."},
    {ToolCategory::kSearches, "Big search results stay in the chat. For wide searches, ask "
                              "Claude to use a subagent; only its answer comes back."},
    {ToolCategory::kTerminal, "Long command output stays in the chat. Ask for quieter commands "
                              "(for example, only the last lines of a log)."},
    {ToolCategory::kWeb, "Web pages stay in the chat. For research, ask Claude to use a subagent "
                         "so only the summary comes back."},
    {ToolCategory::kConnectors, "Connector results stay in the chat. Ask for smaller results "
                                "(filters, fewer rows), or use a subagent."},
}};

// The ends of the Instant range stand for times too far away to name: a reset time that
// saturated on reading, or a projection that ran off the range.
bool isOutOfRange(Instant t) {
    return t == kDistantPast || t == kDistantFuture;
}

std::string timeText(Instant t, const TimeOfDayFormatter& timeOfDay) {
    return isOutOfRange(t) ? std::string(Format::kNoValue) : timeOfDay(t);
}

// Whole seconds since 1970, so every refresh within one window gives the same key.
std::string resetKey(Instant t) {
    if (isOutOfRange(t))
        return std::string(Format::kNoValue);
    return std::to_string(std::chrono::duration_cast<std::chrono::seconds>(t.time_since_epoch())
                              .count()); // truncates toward zero
}

std::string wholeText(std::optional<std::int64_t> n) {
    return n ? std::to_string(*n) : std::string(Format::kNoValue);
}

std::optional<Tip> limitTip(const CoachInput& in, const Limits::Window& window,
                            const Thresholds& th, const TimeOfDayFormatter& timeOfDay) {
    // A NaN percentage fails every comparison below, so it never makes a tip.
    const double p = window.usedPercent;
    const std::string percent = wholeText(Format::truncated(p));
    // The kept readings' projection, where there is one. Its instance keeps the reset of its
    // first reading, so that a reset that wobbles by a second is still one key.
    const auto official = std::find_if(in.projections.begin(), in.projections.end(),
                                       [](const auto& x) { return x.window == "five_hour"; });
    const bool kept = official != in.projections.end();
    const std::string key = resetKey(kept ? official->resetsAt : window.resetsAt);

    if (p >= th.limitAlert)
        return Tip{"limit.alert", Tip::Level::alert, percent + "% of your 5-hour limit",
                   "Save your work now and keep messages small. It resets at " +
                       timeText(window.resetsAt, timeOfDay) + ".",
                   "limit.alert|" + key};

    const auto pace = [&](Instant full, bool notify) {
        return Tip{"limit.pace", Tip::Level::warn,
                   "On pace to hit the limit at " + timeText(full, timeOfDay),
                   "It resets at " + timeText(window.resetsAt, timeOfDay) +
                       ". Slow down: finish this task, /clear, and use smaller chats.",
                   notify ? std::optional("limit.pace|" + key) : std::nullopt};
    };
    if (kept) {
        // It notifies only when the limit comes well before the reset.
        if (official->fullAt)
            return pace(*official->fullAt, official->fullWellBeforeReset());
    } else if (p >= 10 && in.fiveHourWeight > 0 && in.burnPerMin > 0) {
        // Below 10 % there is too little spent to project from.
        const double weightPerPercent = in.fiveHourWeight / p;
        const double weightLeft = (100 - p) * weightPerPercent;
        const double minutesLeft = weightLeft / in.burnPerMin;
        if (!std::isnan(minutesLeft)) {
            const Instant projected = addSeconds(in.now, minutesLeft * 60);
            if (projected < window.resetsAt)
                return pace(projected, true);
        }
    }

    if (p >= th.limitWarn)
        return Tip{"limit.warn", Tip::Level::warn, percent + "% of your 5-hour limit",
                   "Plenty of room is gone. Keep chats short until it resets at " +
                       timeText(window.resetsAt, timeOfDay) + ".",
                   "limit.warn|" + key};
    return std::nullopt;
}

// A window other than the 5-hour one (the week) on pace to fill before it resets.
std::optional<Tip> fullTip(const LimitProjection& p, Instant now) {
    if (p.window == "five_hour" || !p.fullAt)
        return std::nullopt;
    Tip tip{"limit.full." + p.window, Tip::Level::warn,
            "On pace to hit the " + WindowInstance::label(p.window) + " limit in " +
                Format::until(*p.fullAt, now),
            "It resets in " + Format::until(p.resetsAt, now) +
                ". Spread the work out: smaller chats, less tool output in them.",
            std::nullopt};
    // Once for the whole instance, which outlasts the notifier's day.
    if (p.fullWellBeforeReset()) {
        tip.notifyKey = "limit.full|" + p.window + "|" + resetKey(p.resetsAt);
        tip.notifyUntil = p.resetsAt;
    }
    return tip;
}

// A message after the cache has gone writes the whole chat to it again.
double coldWeight(std::int64_t chatSize) {
    Turn cold;
    cold.cacheWrite = chatSize;
    return cold.weight();
}

// " (≈ 0.9 % of your 5-hour limit)" for a message of that weight, once a percent is known.
std::string shareOfLimit(const CoachInput& in, double weight, std::string_view each = "") {
    if (!in.weightPerPercent || !(*in.weightPerPercent > 0) || !(weight > 0))
        return "";
    return " (" + Format::percentApprox(weight / *in.weightPerPercent) + " of your 5-hour limit" +
           std::string(each) + ")";
}

} // namespace

std::vector<Tip> Coach::tips(const CoachInput& in, const Thresholds& th,
                             const TimeOfDayFormatter& timeOfDay) {
    static const TimeOfDayFormatter fallback = defaultTimeOfDay();
    const TimeOfDayFormatter& formatTime = timeOfDay ? timeOfDay : fallback;

    const std::int64_t size = in.currentChat ? in.currentChat->size : 0;
    const std::string session = in.currentChat ? in.currentChat->sessionId : "-";
    std::vector<Tip> out;

    if (size >= th.chatHard)
        out.push_back(
            {"chat.hard", Tip::Level::alert, "Very big chat (" + Format::tokens(size) + ")",
             "Every message re-reads all of it" + shareOfLimit(in, in.nextMessageWeight, " each") +
                 ". Say \"wrap up\" so Claude saves notes, then /clear and start fresh.",
             "chat.hard|" + session});

    if (in.fiveHour) {
        if (auto tip = limitTip(in, *in.fiveHour, th, formatTime))
            out.push_back(std::move(*tip));
    }
    for (const auto& p : in.projections)
        if (auto tip = fullTip(p, in.now))
            out.push_back(std::move(*tip));

    if (th.chatSoft <= size && size < th.chatHard)
        out.push_back(
            {"chat.soft", Tip::Level::warn, "Chat getting long (" + Format::tokens(size) + ")",
             (in.percentPerMessage()
                  ? "Each message now takes " + Format::percentApprox(*in.percentPerMessage()) +
                        " of your 5-hour limit. "
                  : std::string()) +
                 "Finish this task, then say \"wrap up\" and start a new chat.",
             "chat.soft|" + session});

    // The text keeps "over an hour" whatever idleMinutes is set to.
    if (in.currentChat && size >= th.idleMinSize &&
        secondsBetween(in.currentChat->lastTime, in.now) >= th.idleMinutes * 60)
        out.push_back({"chat.idle", Tip::Level::info, "This chat has gone cold",
                       "It's been idle over an hour, so the next message pays full price for all " +
                           Format::tokens(size) + shareOfLimit(in, coldWeight(size)) +
                           ". Start a new chat instead.",
                       std::nullopt});

    // On a day that has hardly begun the share is the weight itself; never divide by less than 1.
    const double divisor = std::max(1.0, in.todayWeight);
    for (const ToolEater& eater : in.toolEaters) {
        const double share = eater.weight / divisor;
        if (!(share >= th.toolShare))
            continue;
        const std::string_view advice = adviceFor(eater.category);
        if (advice.empty())
            continue;
        out.push_back(
            {"tool." + eater.category, Tip::Level::info,
             eater.category + ": " + wholeText(Format::rounded(share * 100)) + "% of today",
             std::string(advice), std::nullopt});
    }

    if (out.empty())
        out.push_back({"ok", Tip::Level::info, in.currentChat ? "Healthy chat size" : "All quiet",
                       "One task per chat keeps it that way.", std::nullopt});
    return out;
}

Tip Coach::best(const CoachInput& input, const Thresholds& thresholds,
                const TimeOfDayFormatter& timeOfDay) {
    return tips(input, thresholds, timeOfDay).front();
}

std::string_view Coach::adviceFor(std::string_view category) {
    for (const auto& [name, advice] : kToolAdvice) {
        if (name == category)
            return advice;
    }
    return {};
}

} // namespace vellumkite
