// Posts through DBusNotificationCenter to whatever notification server runs on the session bus,
// and checks what a real server recorded. Driven by notify-end-to-end.sh.
//   notify_end_to_end post             posts twice under one identifier; fails unless the server
//                                      took both and the second replaced the first
//   notify_end_to_end check HISTORY    checks dunstctl's history (JSON) for the posted texts
#include "DBusNotificationCenter.hpp"
#include "NotificationHistory.hpp"

#include <cstdio>
#include <QCoreApplication>
#include <QTimer>

using vellumkite::DBusNotificationCenter;

namespace {

const QString kTitle = QStringLiteral("Vellumkite end-to-end title");
const QString kBody = QStringLiteral("The body of the second post, which replaced the first");

int post() {
    auto center = DBusNotificationCenter::create();
    if (!center) {
        std::fprintf(stderr, "no notification centre on the session bus\n");
        return 1;
    }
    QList<uint> ids;
    int exitCode = 1;
    QObject::connect(center.get(), &DBusNotificationCenter::postFailed,
                     [](const QString&, const QString& error) {
                         std::fprintf(stderr, "post failed: %s\n", qPrintable(error));
                         QCoreApplication::exit(1);
                     });
    QObject::connect(center.get(), &DBusNotificationCenter::posted, [&](const QString&, uint id) {
        ids.append(id);
        if (ids.size() == 1) {
            center->post(QStringLiteral("e2e"), kTitle, kBody, true);
            return;
        }
        if (ids[1] != ids[0])
            std::fprintf(stderr, "ids %u and %u: not replaced\n", ids[0], ids[1]);
        exitCode = ids[1] == ids[0] ? 0 : 1;
        QCoreApplication::exit(exitCode);
    });
    center->post(QStringLiteral("e2e"), kTitle, QStringLiteral("first body"), false);
    QTimer::singleShot(10000, [] {
        std::fprintf(stderr, "no answer from the server\n");
        QCoreApplication::exit(1);
    });
    return QCoreApplication::exec();
}

} // namespace

int main(int argc, char** argv) {
    return vellumkite::testing::endToEndMain(argc, argv, post, kTitle, kBody);
}
