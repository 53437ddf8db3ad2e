#include "DesktopProbe.hpp"

#include <cstdlib>
#include <dbus/dbus.h>
#include <string>
#include <sys/stat.h>

#ifdef VELLUMKITE_HAVE_XCB
#include <xcb/xcb.h>
#endif

namespace vellumkite {

namespace {

constexpr int kTimeoutMs = 2000;

// The session bus's address; with none set, the per-user bus at its standard place. Never
// libdbus's own fallback, which may launch a new bus.
std::optional<std::string> sessionBusAddress() {
    if (const char* a = std::getenv("DBUS_SESSION_BUS_ADDRESS"); a && *a)
        return std::string(a);
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (!runtime || runtime[0] != '/')
        return std::nullopt;
    const std::string socket = std::string(runtime) + "/bus";
    struct stat st {};
    if (::stat(socket.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode))
        return std::nullopt;
    return "unix:path=" + socket;
}

} // namespace

std::optional<bool> DesktopProbe::sessionBusHasOwner(const char* name) {
    const auto address = sessionBusAddress();
    if (!address)
        return std::nullopt;
    DBusError error;
    dbus_error_init(&error);
    DBusConnection* bus = dbus_connection_open_private(address->c_str(), &error);
    std::optional<bool> out;
    if (bus && dbus_bus_register(bus, &error)) {
        DBusMessage* call =
            dbus_message_new_method_call("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                         "org.freedesktop.DBus", "NameHasOwner");
        DBusMessage* reply = nullptr;
        if (call && dbus_message_append_args(call, DBUS_TYPE_STRING, &name, DBUS_TYPE_INVALID))
            reply = dbus_connection_send_with_reply_and_block(bus, call, kTimeoutMs, &error);
        dbus_bool_t has = FALSE;
        if (reply &&
            dbus_message_get_args(reply, &error, DBUS_TYPE_BOOLEAN, &has, DBUS_TYPE_INVALID))
            out = has != FALSE;
        if (reply)
            dbus_message_unref(reply);
        if (call)
            dbus_message_unref(call);
    }
    if (bus) {
        dbus_connection_close(bus);
        dbus_connection_unref(bus);
    }
    dbus_error_free(&error);
    return out;
}

std::optional<bool> DesktopProbe::xembedTray() {
#ifdef VELLUMKITE_HAVE_XCB
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display)
        return std::nullopt;
    int screen = 0;
    xcb_connection_t* x = xcb_connect(nullptr, &screen);
    if (xcb_connection_has_error(x)) {
        xcb_disconnect(x);
        return std::nullopt;
    }
    const std::string selection = "_NET_SYSTEM_TRAY_S" + std::to_string(screen);
    bool owned = false;
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        x, xcb_intern_atom(x, 1, static_cast<std::uint16_t>(selection.size()), selection.c_str()),
        nullptr);
    if (atom && atom->atom != XCB_ATOM_NONE) {
        xcb_get_selection_owner_reply_t* owner =
            xcb_get_selection_owner_reply(x, xcb_get_selection_owner(x, atom->atom), nullptr);
        owned = owner && owner->owner != XCB_NONE;
        std::free(owner);
    }
    std::free(atom);
    xcb_disconnect(x);
    return owned;
#else
    return std::nullopt;
#endif
}

} // namespace vellumkite
