#pragma once

#include "Level.hpp"

#include <cstdint>
#include <string>
#include <string_view>

namespace vellumkite {

class Preferences;
class Environment;

// The coach's tuning. Thresholds() gives the built-in defaults; load() applies overrides from
// VELLUMKITE_* variables first, then the user's preferences.
struct Thresholds {
    std::int64_t chatSoft = 150000;
    std::int64_t chatHard = 300000;
    double limitWarn = 80.0;
    double limitAlert = 90.0;
    double idleMinutes = 60.0;
    std::int64_t idleMinSize = 50000; // fixed; no override
    double toolShare = 0.1;

    bool operator==(const Thresholds&) const = default;

    static Thresholds load(const Preferences& prefs, const Environment& env);

    // The variable that overrides a field: "idleMinutes" gives "VELLUMKITE_IDLE_MINUTES".
    static std::string environmentName(std::string_view field);
};

// The chat-size level that colours the chat dot.
Level chatLevel(std::int64_t chatSize, const Thresholds& thresholds);

} // namespace vellumkite
