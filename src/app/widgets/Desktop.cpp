#include "Desktop.hpp"

#include <cstdlib>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <string>

#ifdef VELLUMKITE_HAVE_XCB
#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>
#endif

namespace vellumkite {

namespace {

std::optional<bool> compositingOverride;

#ifdef VELLUMKITE_HAVE_XCB
xcb_connection_t* x11() {
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    auto* native = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return native ? native->connection() : nullptr;
}

xcb_atom_t atom(xcb_connection_t* c, const std::string& name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<uint16_t>(name.size()), name.c_str()), nullptr);
    if (!reply)
        return XCB_ATOM_NONE;
    const xcb_atom_t a = reply->atom;
    std::free(reply);
    return a;
}

// The window that owns a selection, or none.
xcb_window_t owner(xcb_connection_t* c, const std::string& selection) {
    const xcb_atom_t a = atom(c, selection);
    if (a == XCB_ATOM_NONE)
        return XCB_WINDOW_NONE;
    xcb_get_selection_owner_reply_t* reply =
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, a), nullptr);
    if (!reply)
        return XCB_WINDOW_NONE;
    const xcb_window_t w = reply->owner;
    std::free(reply);
    return w;
}

// The number of the screen the application shows on, as the selections name it.
std::string screenNumber() {
    const QByteArray display = qgetenv("DISPLAY");
    const qsizetype dot = display.lastIndexOf('.');
    const qsizetype colon = display.lastIndexOf(':');
    return dot > colon && dot >= 0 ? display.mid(dot + 1).toStdString() : std::string("0");
}
#endif

} // namespace

bool Desktop::compositing() {
    if (compositingOverride)
        return *compositingOverride;
#ifdef VELLUMKITE_HAVE_XCB
    if (xcb_connection_t* c = x11())
        return owner(c, "_NET_WM_CM_S" + screenNumber()) != XCB_WINDOW_NONE;
#endif
    return true;
}

std::optional<QColor> Desktop::trayForeground() {
#ifdef VELLUMKITE_HAVE_XCB
    xcb_connection_t* c = x11();
    if (!c)
        return std::nullopt;
    const xcb_window_t tray = owner(c, "_NET_SYSTEM_TRAY_S" + screenNumber());
    const xcb_atom_t colors = atom(c, "_NET_SYSTEM_TRAY_COLORS");
    if (tray == XCB_WINDOW_NONE || colors == XCB_ATOM_NONE)
        return std::nullopt;
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        c, xcb_get_property(c, 0, tray, colors, XCB_ATOM_CARDINAL, 0, 12), nullptr);
    if (!reply)
        return std::nullopt;
    std::optional<QColor> out;
    if (reply->format == 32)
        out = fromTrayColors(static_cast<const std::uint32_t*>(xcb_get_property_value(reply)),
                             static_cast<std::size_t>(xcb_get_property_value_length(reply)) / 4);
    std::free(reply);
    return out;
#else
    return std::nullopt;
#endif
}

std::optional<QColor> Desktop::fromTrayColors(const std::uint32_t* values, std::size_t count) {
    if (!values || count < 3)
        return std::nullopt;
    const auto channel = [](std::uint32_t v) { return static_cast<int>(std::min(v, 65535u) >> 8); };
    return QColor(channel(values[0]), channel(values[1]), channel(values[2]));
}

void Desktop::showOnAllDesktops(QWidget* window) {
#ifdef VELLUMKITE_HAVE_XCB
    xcb_connection_t* c = x11();
    if (!c)
        return;
    const auto id = static_cast<xcb_window_t>(window->winId());
    const xcb_atom_t desktop = atom(c, "_NET_WM_DESKTOP");
    if (desktop == XCB_ATOM_NONE)
        return;
    const uint32_t allDesktops = 0xFFFFFFFF;
    if (!window->isVisible()) {
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, desktop, XCB_ATOM_CARDINAL, 32, 1,
                            &allDesktops);
    } else {
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
        if (!screen)
            return;
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = id;
        event.type = desktop;
        event.data.data32[0] = allDesktops;
        event.data.data32[1] = 1; // from an application
        xcb_send_event(c, 0, screen->root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                       reinterpret_cast<const char*>(&event));
    }
    xcb_flush(c);
#else
    (void)window;
#endif
}

void Desktop::setCompositingForTest(std::optional<bool> compositing) {
    compositingOverride = compositing;
}

} // namespace vellumkite
