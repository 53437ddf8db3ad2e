#pragma once

#include <map>
#include <string>
#include <string_view>
#include <variant>

namespace vellumkite {

// A stored preference as the core sees it. Types matter: a text "no" is not a bool.
struct PrefValue {
    struct Absent {
        bool operator==(const Absent&) const = default;
    };
    struct Other { // a dictionary, a list, a date: present but none of the above
        bool operator==(const Other&) const = default;
    };
    std::variant<Absent, bool, double, std::string, Other> value;

    bool isAbsent() const { return std::holds_alternative<Absent>(value); }
    bool operator==(const PrefValue&) const = default;

    // The classic "double for key" reading: a number as itself, a bool as 1 or 0, a text by its
    // leading numeric part (0 when there is none), anything else 0.
    double toDouble() const;
};

// The user's preferences, read-only, as the coach and thresholds need them. The app and the
// terminal tool implement it on their settings store; tests fill MapPreferences.
class Preferences {
public:
    virtual ~Preferences() = default;
    virtual PrefValue lookup(std::string_view key) const = 0;
};

class MapPreferences : public Preferences {
public:
    MapPreferences() = default;
    explicit MapPreferences(std::map<std::string, PrefValue, std::less<>> values)
        : values_(std::move(values)) {}

    void set(std::string key, PrefValue value) { values_[std::move(key)] = std::move(value); }
    PrefValue lookup(std::string_view key) const override;

private:
    std::map<std::string, PrefValue, std::less<>> values_;
};

} // namespace vellumkite
