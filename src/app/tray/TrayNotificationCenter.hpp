#pragma once

#include "NotificationCenter.hpp"

#include <functional>
#include <memory>
#include <QString>
#include <QSystemTrayIcon>

namespace vellumkite {

// Notifications as the tray icon's messages, for systems without the freedesktop service: on
// macOS Qt hands them to the system's notifications; elsewhere a tray shows them by the icon.
class TrayNotificationCenter : public NotificationCenter {
public:
    // How long a message stays where the system lets the program say (Qt's own default).
    static constexpr int kShowMs = 10000;

    // Where messages go: the tray icon's showMessage, or whatever a test puts in its place.
    using Sink = std::function<void(const QString& title, const QString& body,
                                    QSystemTrayIcon::MessageIcon icon, int msecs)>;

    // Whether the app posts through the tray rather than over D-Bus: on macOS, which has none.
    static bool isPlatformDefault();

    // Nothing where the tray cannot show messages, as with D-Bus where no server runs. Posts
    // are dropped until setTray.
    static std::unique_ptr<TrayNotificationCenter> create();

    explicit TrayNotificationCenter(Sink sink = {});

    // Shows posts as the icon's messages from now on, while the icon is shown. Set after
    // construction, since the icon is made after the model that posts.
    void setTray(QSystemTrayIcon* tray);

    // A message cannot be replaced or withdrawn, so the identifier goes unused and a repeat shows
    // anew; sound, which a message cannot ask for, shows as the warning icon.
    void post(const QString& identifier, const QString& title, const QString& body,
              bool sound) override;

private:
    Sink sink_;
};

} // namespace vellumkite
