#include "Texts.hpp"

#include "Format.hpp"

namespace vellumkite {

namespace {

constexpr std::string_view kMiddle = " \u00b7 ";

} // namespace

std::string Texts::limitDetail(const Limits::Window& window, Instant now) {
    return Format::percent(window.usedPercent) + std::string(kMiddle) + "resets in " +
           Format::until(window.resetsAt, now);
}

std::string Texts::chatSize(std::int64_t tokens) {
    return Format::tokens(tokens) + " re-read every message";
}

std::string Texts::perMessage(double percentOfFiveHours) {
    return Format::percentApprox(percentOfFiveHours) + " of your 5-hour limit per message";
}

std::string Texts::fullAt(Instant when, const TimeOfDayFormatter& timeOfDay) {
    return "full at " + timeOfDay(when);
}

std::string Texts::burnRate(double perMinute) {
    return Format::rate(perMinute) + "/min" + std::string(kMiddle) + "last 15 min";
}

std::string Texts::chatDetail(const ChatSummary& chat, Instant now) {
    return std::to_string(chat.replies) + " msgs" + std::string(kMiddle) +
           Format::ago(chat.lastTime, now);
}

std::string Texts::toolDetail(const ToolEater& eater) {
    return std::to_string(eater.calls) + " calls" + std::string(kMiddle) +
           Format::tokens(eater.tokens) + " added";
}

} // namespace vellumkite
