#include "AppIcon.hpp"
#include "AppModel.hpp"
#include "DBusNotificationCenter.hpp"
#include "DemoPanel.hpp"
#include "DisplayPlatform.hpp"
#include "FloatingBoxHandler.hpp"
#include "LoginItem.hpp"
#include "PreferencesStore.hpp"
#include "QuitSignals.hpp"
#include "SingleInstance.hpp"
#include "SnapshotFile.hpp"
#include "TrayIcon.hpp"

#include <cstdio>
#include <memory>
#include <QApplication>

using namespace vellumkite;

int main(int argc, char** argv) {
    const Environment env = Environment::process();
    if (!DisplayPlatform::hasDisplay(env) && !env.get("QT_QPA_PLATFORM")) {
        std::fprintf(stderr, "Vellumkite: no display (neither DISPLAY nor WAYLAND_DISPLAY is "
                             "set); try vellumkite-cli status in a terminal.\n");
        return 1;
    }
    DisplayPlatform::apply();

    QApplication app(argc, argv);
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
        switch (instance.start()) {
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
    const auto notifications = DBusNotificationCenter::create();

    AppModel::Services services;
    services.preferences = &preferences;
    services.loginItem = &loginItem;
    services.notifications = notifications.get();
    AppModel model(std::move(services));

    FloatingBoxHandler box(model);
    TrayIcon tray(model);
    box.setTrayFallback(
        {[] { return !TrayIcon::trayAvailable(); }, [&tray] { tray.showPopover(); }});
    QObject::connect(&instance, &SingleInstance::activationRequested, &tray,
                     &TrayIcon::showPopover);
    tray.show();
    DemoPanel demo(model);
    std::unique_ptr<SnapshotFile> snapshotFile;
    if (const auto path = env.get("VELLUMKITE_SNAPSHOT_FILE"); path && !path->empty())
        snapshotFile = std::make_unique<SnapshotFile>(model, *path);

    return QApplication::exec();
}
