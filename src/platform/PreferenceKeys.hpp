#pragma once

namespace vellumkite {

// Every preference the programs write, with its type and the value it reads as when it is
// absent or stored with another type: a text "no" is no bool, a number no size. The coach's
// thresholds are not here; the core reads them under their own names (Thresholds::load).
struct PreferenceKeys {
    struct Flag {
        const char* name;
        bool fallback;
    };
    struct Text {
        const char* name;
        const char* fallback;
    };
    // A dictionary of names to seconds since 1970; empty when absent or when any entry is not a
    // number.
    struct Times {
        const char* name;
    };

    static constexpr Flag showBox{"showFloatingBox", true};
    static constexpr Text boxSize{"floatingBoxSize", "medium"};
    static constexpr Text boxTopLeft{"floatingBoxTopLeft", ""}; // "{x, y}"
    static constexpr Times firedNotifications{"firedNotifications"};
    static constexpr Text historyWindow{"historyWindowGeometry", ""}; // "x, y, width, height"
    // The folder, synced between the user's machines, where each publishes its history; empty
    // when sync is off.
    static constexpr Text syncFolder{"syncFolder", ""};
};

} // namespace vellumkite
