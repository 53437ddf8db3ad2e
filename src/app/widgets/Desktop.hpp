#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <QColor>

class QWidget;

namespace vellumkite {

// What the desktop says about itself, where it says it (on X11 through properties the window
// manager and the system tray set); elsewhere the answers are the platform's known ones.
struct Desktop {
    // Whether a compositor draws the windows, so that a translucent window shows what lies under
    // it: on X11 when a compositing manager holds its selection; always on Wayland, macOS and
    // Windows. Without one, a translucent window's see-through parts come out black.
    static bool compositing();
    // The colour the system tray asks its icons to draw in (_NET_SYSTEM_TRAY_COLORS), if any.
    static std::optional<QColor> trayForeground();

    // Asks the window manager to show the window on every virtual desktop (_NET_WM_DESKTOP
    // 0xFFFFFFFF): before it is mapped the window says so itself; once mapped, the window manager
    // must be asked. Nothing happens off X11.
    static void showOnAllDesktops(QWidget* window);

    // The first four of the tray's twelve numbers (red, green, blue of the foreground, each
    // 0-65535) as a colour; nothing for fewer than three.
    static std::optional<QColor> fromTrayColors(const std::uint32_t* values, std::size_t count);

    // For tests: answers compositing() with this instead of asking; nothing asks again.
    static void setCompositingForTest(std::optional<bool> compositing);
};

} // namespace vellumkite
