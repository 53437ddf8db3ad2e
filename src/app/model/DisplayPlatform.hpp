#pragma once

#include "Environment.hpp"

#include <optional>
#include <string>

namespace vellumkite {

// Which Qt platform the app asks for. Under Wayland a window can neither keep itself above
// others nor say where it goes, so when an X server is also at hand (XWayland) and the user has
// not chosen a platform, the app runs on xcb: the box then floats and remembers its place.
struct DisplayPlatform {
    // Whether the display is found through DISPLAY or WAYLAND_DISPLAY: everywhere but on macOS,
    // whose window server is always there (and whose DISPLAY, if any, is XQuartz's).
#ifdef __APPLE__
    static constexpr bool kDisplayFromEnvironment = false;
#else
    static constexpr bool kDisplayFromEnvironment = true;
#endif

    // "xcb" when WAYLAND_DISPLAY and DISPLAY are set and QT_QPA_PLATFORM is not; else nothing.
    static std::optional<std::string> preferred(const Environment& env,
                                                bool fromEnvironment = kDisplayFromEnvironment);
    // Sets QT_QPA_PLATFORM for this process when preferred() says so. Call before the
    // application object is made.
    static void apply();
    // Whether there is any display to show windows on.
    static bool hasDisplay(const Environment& env, bool fromEnvironment = kDisplayFromEnvironment);
};

} // namespace vellumkite
