#include "AppIcon.hpp"
#include "AppModel.hpp"
#include "DBusNotificationCenter.hpp"
#include "DemoPanel.hpp"
#include "DisplayPlatform.hpp"
#include "FloatingBoxHandler.hpp"
#include "HistoryPresenter.hpp"
#include "LoginItem.hpp"
#include "PreferencesStore.hpp"
#include "QuitSignals.hpp"
#include "SingleInstance.hpp"
#include "SnapshotFile.hpp"
#include "TrayIcon.hpp"
#include "TrayNotificationCenter.hpp"

#include <cstdio>
#include <memory>
#include <QApplication>
#include <QTimer>
#include <string_view>

using namespace vellumkite;

namespace {

constexpr const char* kUsage =
    "Usage: vellumkite [--history]\n\n"
    "The usage coach in the system tray. A later start opens the running one's window;\n"
    "with --history, its History window.\n";

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::string_view(argv[i]) == "--help" || std::string_view(argv[i]) == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
    const Environment env = Environment::process();
    if (!DisplayPlatform::hasDisplay(env) && !env.get("QT_QPA_PLATFORM")) {
        std::fprintf(stderr, "Vellumkite: no display (neither DISPLAY nor WAYLAND_DISPLAY is "
                             "set); try vellumkite-cli status in a terminal.\n");
        return 1;
    }
    DisplayPlatform::apply();
    QApplication app(argc, argv); // takes Qt's own options out of argv
    bool history = false;
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--history") {
            history = true;
        } else {
            std::fprintf(stderr, "vellumkite: unknown argument: %s\n\n%s", argv[i], kUsage);
            return 2;
        }
    }
    QApplication::setOrganizationName(QStringLiteral("Vellumkite"));
    QApplication::setApplicationName(QStringLiteral("Vellumkite"));
    QApplication::setDesktopFileName(QStringLiteral("vellumkite"));
    QApplication::setWindowIcon(AppIcon::icon());
    // A tray utility: closing its windows never ends it; only "Quit" does.
    QApplication::setQuitOnLastWindowClosed(false);

    // One instance per user: a later start (the application menu, a terminal, the autostart
    // entry) opens the running one's popover and ends. The demo is a showcase that may run
    // beside the real thing.
    SingleInstance instance;
    if (!env.has("VELLUMKITE_DEMO")) {
        const auto request =
            history ? SingleInstance::Request::history : SingleInstance::Request::open;
        switch (instance.start(std::chrono::seconds(5), request)) {
        case SingleInstance::Role::secondary:
            return 0;
        case SingleInstance::Role::unknown: {
            const QByteArray why = instance.error().toLocal8Bit();
            std::fprintf(stderr,
                         "Vellumkite: cannot tell whether Vellumkite already runs (%s); "
                         "starting anyway.\n",
                         why.constData());
            break;
        }
        case SingleInstance::Role::primary:
            break;
        }
    }

    // A logout or a kill takes the same way out as "Quit".
    QuitSignals quitSignals;

    PreferencesStore preferences;
    LoginItem loginItem;
    // Without D-Bus (macOS), notifications are the tray icon's messages, once the icon is made.
    std::unique_ptr<NotificationCenter> notifications;
    TrayNotificationCenter* trayNotifications = nullptr;
    if (TrayNotificationCenter::isPlatformDefault()) {
        auto center = TrayNotificationCenter::create();
        trayNotifications = center.get();
        notifications = std::move(center);
    } else {
        notifications = DBusNotificationCenter::create();
    }

    AppModel::Services services;
    services.preferences = &preferences;
    services.loginItem = &loginItem;
    services.notifications = notifications.get();
    AppModel model(std::move(services));

    FloatingBoxHandler box(model);
    TrayIcon tray(model, TrayIcon::platformStyle());
    if (trayNotifications)
        trayNotifications->setTray(tray.trayIcon());
    box.setTrayFallback(
        {[] { return !TrayIcon::trayAvailable(); }, [&tray] { tray.showPopover(); }});
    QObject::connect(&instance, &SingleInstance::activationRequested, &tray,
                     &TrayIcon::showPopover);
    HistoryPresenter historyWindow(model);
    QObject::connect(&instance, &SingleInstance::historyRequested, &model, &AppModel::openHistory);
    if (history)
        QTimer::singleShot(0, &model, [&model] { model.openHistory(); });
    tray.show();
    DemoPanel demo(model);
    std::unique_ptr<SnapshotFile> snapshotFile;
    if (const auto path = env.get("VELLUMKITE_SNAPSHOT_FILE"); path && !path->empty())
        snapshotFile = std::make_unique<SnapshotFile>(model, *path);

    return QApplication::exec();
}
