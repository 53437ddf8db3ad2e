// The doctor's desktop checks against a real session bus and X display: run by CTest under
// xvfb-run and dbus-run-session, taking the names and the tray selection itself.
#include "DesktopProbe.hpp"
#include "DoctorLine.hpp"
#include "TestHome.hpp"

#include <cstdlib>
#include <dbus/dbus.h>
#include <gtest/gtest.h>
#include <xcb/xcb.h>

using namespace vellumkite;
using namespace vellumkite::testing;

namespace {

class DoctorDesktopTest : public ::testing::Test {
protected:
    void SetUp() override {
        bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
        display = std::getenv("DISPLAY");
        if (!bus || !display)
            GTEST_SKIP() << "needs a session bus and an X display (run by CTest)";
        home.programs.setEnv("DBUS_SESSION_BUS_ADDRESS", bus);
        home.programs.setEnv("DISPLAY", display);
        if (const char* auth = std::getenv("XAUTHORITY"))
            home.programs.setEnv("XAUTHORITY", auth);
        // Held from the start: an X server with no client left resets itself, and a connection
        // made meanwhile fails.
        x = xcb_connect(nullptr, &screenNumber);
        ASSERT_FALSE(xcb_connection_has_error(x));
    }
    void TearDown() override {
        if (connection) {
            dbus_connection_close(connection);
            dbus_connection_unref(connection);
        }
        if (x)
            xcb_disconnect(x);
    }

    std::string doctor() {
        const Exit e = home.programs.run({kCli, "doctor"});
        // Nothing on standard error: no complaint from libdbus or libxcb, nor a sanitizer's.
        EXPECT_EQ(e.err, "");
        EXPECT_EQ(e.code, 1); // there are no logs here
        return e.out;
    }

    DBusConnection* own(const char* name) {
        DBusError error;
        dbus_error_init(&error);
        if (!connection)
            connection = dbus_connection_open_private(bus, &error);
        EXPECT_TRUE(connection && dbus_bus_register(connection, &error)) << error.message;
        EXPECT_EQ(dbus_bus_request_name(connection, name, DBUS_NAME_FLAG_DO_NOT_QUEUE, &error),
                  DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER);
        dbus_error_free(&error);
        return connection;
    }

    const char* bus = nullptr;
    const char* display = nullptr;
    DBusConnection* connection = nullptr;
    xcb_connection_t* x = nullptr;
    int screenNumber = 0;
    TestHome home;
};

} // namespace

TEST_F(DoctorDesktopTest, FindsTheNotificationServiceAndEitherKindOfTray) {
    std::string out = doctor();
    EXPECT_EQ(doctorLine(out, "Notifications"),
              "! Notifications   no notification service on the session bus")
        << out;
    EXPECT_EQ(doctorLine(out, "System tray"), "! System tray     none found");
    // Asking did not start a notification service (one is installed for activation here).
    EXPECT_EQ(DesktopProbe::sessionBusHasOwner("org.freedesktop.Notifications"), false);

    own("org.freedesktop.Notifications");
    own("org.kde.StatusNotifierWatcher");
    out = doctor();
    EXPECT_EQ(doctorLine(out, "Notifications"),
              "\u2713 Notifications   a notification service is running");
    EXPECT_EQ(doctorLine(out, "System tray"),
              "\u2713 System tray     a StatusNotifierItem host on the session bus");

    DBusError error;
    dbus_error_init(&error);
    dbus_bus_release_name(connection, "org.kde.StatusNotifierWatcher", &error);
    dbus_error_free(&error);
    EXPECT_EQ(doctorLine(doctor(), "System tray"), "! System tray     none found");

    // An XEmbed tray: a window holding the screen's tray selection.
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(x)).data;
    const xcb_window_t window = xcb_generate_id(x);
    xcb_create_window(x, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
    const std::string selection = "_NET_SYSTEM_TRAY_S" + std::to_string(screenNumber);
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        x, xcb_intern_atom(x, 0, static_cast<std::uint16_t>(selection.size()), selection.c_str()),
        nullptr);
    ASSERT_NE(atom, nullptr);
    xcb_set_selection_owner(x, window, atom->atom, XCB_CURRENT_TIME);
    std::free(atom);
    std::free(xcb_get_input_focus_reply(x, xcb_get_input_focus(x), nullptr)); // now it is done
    EXPECT_EQ(doctorLine(doctor(), "System tray"),
              "\u2713 System tray     an XEmbed tray on display " + std::string(display));
}
