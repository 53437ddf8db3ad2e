#pragma once

#include <optional>

namespace vellumkite {

// What the desktop session offers, asked without starting anything.
struct DesktopProbe {
    // Whether a name has an owner on the session bus; nothing when there is no session bus to ask
    // (none is ever launched for the question). The bus answers NameHasOwner itself, so the
    // question does not start the service either.
    static std::optional<bool> sessionBusHasOwner(const char* name);

    // Whether an XEmbed system tray holds its selection (_NET_SYSTEM_TRAY_S<screen>) on $DISPLAY;
    // nothing without an X display.
    static std::optional<bool> xembedTray();
};

} // namespace vellumkite
