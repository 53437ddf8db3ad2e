#include "TrayNotificationCenter.hpp"

#include <QPointer>

namespace vellumkite {

bool TrayNotificationCenter::isPlatformDefault() {
#ifdef Q_OS_MACOS
    return true;
#else
    return false;
#endif
}

std::unique_ptr<TrayNotificationCenter> TrayNotificationCenter::create() {
    if (!QSystemTrayIcon::supportsMessages())
        return nullptr;
    return std::make_unique<TrayNotificationCenter>();
}

TrayNotificationCenter::TrayNotificationCenter(Sink sink) : sink_(std::move(sink)) {}

void TrayNotificationCenter::setTray(QSystemTrayIcon* tray) {
    // The icon may go first when the program ends.
    sink_ = [tray = QPointer<QSystemTrayIcon>(tray)](const QString& title, const QString& body,
                                                     QSystemTrayIcon::MessageIcon icon, int msecs) {
        if (tray)
            tray->showMessage(title, body, icon, msecs);
    };
}

void TrayNotificationCenter::post(const QString& /*identifier*/, const QString& title,
                                  const QString& body, bool sound) {
    if (sink_)
        sink_(title, body, sound ? QSystemTrayIcon::Warning : QSystemTrayIcon::Information,
              kShowMs);
}

} // namespace vellumkite
