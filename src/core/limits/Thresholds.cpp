#include "Thresholds.hpp"

#include "CNumber.hpp"
#include "Environment.hpp"
#include "Format.hpp"
#include "Preferences.hpp"

#include <optional>

namespace vellumkite {

namespace {

bool isLower(char c) {
    return c >= 'a' && c <= 'z';
}
bool isUpper(char c) {
    return c >= 'A' && c <= 'Z';
}

// A variable wins when its whole value is a number; one that does not parse falls through to the
// preference of the same name as the field.
std::optional<double> overrideFor(std::string_view field, const Preferences& prefs,
                                  const Environment& env) {
    if (const auto text = env.get(Thresholds::environmentName(field))) {
        if (const auto value = CNumber::parseWhole(*text))
            return value;
    }
    const PrefValue pref = prefs.lookup(field);
    if (!pref.isAbsent())
        return pref.toDouble();
    return std::nullopt;
}

void apply(double& field, std::string_view name, const Preferences& prefs, const Environment& env) {
    if (const auto value = overrideFor(name, prefs, env))
        field = *value;
}

// A count has no value for "inf", "nan" or 1e30: such an override leaves the default in place.
void apply(std::int64_t& field, std::string_view name, const Preferences& prefs,
           const Environment& env) {
    if (const auto value = overrideFor(name, prefs, env)) {
        if (const auto whole = Format::truncated(*value))
            field = *whole;
    }
}

} // namespace

std::string Thresholds::environmentName(std::string_view field) {
    std::string name = "VELLUMKITE_";
    for (std::size_t i = 0; i < field.size(); ++i) {
        const char c = field[i];
        name += isLower(c) ? static_cast<char>(c - 'a' + 'A') : c;
        if (isLower(c) && i + 1 < field.size() && isUpper(field[i + 1]))
            name += '_';
    }
    return name;
}

Thresholds Thresholds::load(const Preferences& prefs, const Environment& env) {
    Thresholds t;
    apply(t.chatSoft, "chatSoft", prefs, env);
    apply(t.chatHard, "chatHard", prefs, env);
    apply(t.limitWarn, "limitWarn", prefs, env);
    apply(t.limitAlert, "limitAlert", prefs, env);
    apply(t.idleMinutes, "idleMinutes", prefs, env);
    apply(t.toolShare, "toolShare", prefs, env);
    t.idleMinSize = Thresholds{}.idleMinSize;
    return t;
}

Level chatLevel(std::int64_t chatSize, const Thresholds& thresholds) {
    if (chatSize >= thresholds.chatHard)
        return Level::alert;
    if (chatSize >= thresholds.chatSoft)
        return Level::warn;
    return Level::info;
}

} // namespace vellumkite
