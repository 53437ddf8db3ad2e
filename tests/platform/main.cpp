#include "PreferencesStore.hpp"
#include "QuitSignals.hpp"
#include "SingleInstance.hpp"

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QFile>
#include <QVariantMap>
#include <sys/file.h>
#include <unistd.h>

using vellumkite::PreferencesStore;

namespace {

// The test program doubles as a second process that uses the preferences file, so that types and
// changes are seen the way another run (or the terminal tool beside the app) sees them.
//   --child write PATH           stores one value of every type
//   --child fill PATH PREFIX N   stores PREFIX0 .. PREFIX(N-1), one write each
//   --child instance FOLDER      starts as the single instance: a later start exits 0 once the
//                                running one answered; the running one says "primary" and then
//                                "activated" for each request, until it is killed
//   --child hold FOLDER          takes the instance lock but never listens
//   --child signals FOLDER       runs as the instance with QuitSignals; says "ready", then on a
//                                signal "received N", and "ended" once the event loop returned
int child(int argc, char** argv) {
    if (argc < 4)
        return 2;
    const QString command = QString::fromLocal8Bit(argv[2]);
    if (command == QLatin1String("instance")) {
        QCoreApplication app(argc, argv);
        vellumkite::SingleInstance instance(QString::fromLocal8Bit(argv[3]));
        QObject::connect(&instance, &vellumkite::SingleInstance::activationRequested, [] {
            std::printf("activated\n");
            std::fflush(stdout);
        });
        switch (instance.start()) {
        case vellumkite::SingleInstance::Role::secondary:
            return 0;
        case vellumkite::SingleInstance::Role::unknown:
            std::fprintf(stderr, "%s\n", qPrintable(instance.error()));
            return 3;
        case vellumkite::SingleInstance::Role::primary:
            std::printf("primary\n");
            std::fflush(stdout);
            return app.exec();
        }
        return 2;
    }
    if (command == QLatin1String("signals")) {
        QCoreApplication app(argc, argv);
        int code = 0;
        {
            vellumkite::SingleInstance instance(QString::fromLocal8Bit(argv[3]));
            vellumkite::QuitSignals quit;
            QObject::connect(&quit, &vellumkite::QuitSignals::received,
                             [](int signal) { std::printf("received %d\n", signal); });
            if (!quit.isActive() || instance.start() != vellumkite::SingleInstance::Role::primary)
                return 3;
            std::printf("ready\n");
            std::fflush(stdout);
            code = app.exec();
        }
        std::printf("ended\n");
        return code;
    }
    if (command == QLatin1String("hold")) {
        QCoreApplication app(argc, argv);
        vellumkite::SingleInstance probe(QString::fromLocal8Bit(argv[3]));
        const int fd = ::open(QFile::encodeName(probe.lockPath()).constData(),
                              O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0 || ::flock(fd, LOCK_EX) != 0)
            return 1;
        std::printf("holding\n");
        std::fflush(stdout);
        for (;;)
            ::pause();
    }
    PreferencesStore store(QString::fromLocal8Bit(argv[3]));
    if (command == QLatin1String("write")) {
        bool ok = store.setValue(QStringLiteral("showFloatingBox"), false);
        ok = store.setValue(QStringLiteral("floatingBoxSize"), QStringLiteral("large")) && ok;
        ok = store.setValue(QStringLiteral("word"), QStringLiteral("no")) && ok;
        ok = store.setValue(QStringLiteral("chatSoft"), 120000) && ok;
        ok = store.setValue(QStringLiteral("limitWarn"), 75.25) && ok;
        QVariantMap fired;
        fired.insert(QStringLiteral("chat.hard|s1"), 1700000000.123456);
        fired.insert(QStringLiteral("limit.pace|x"), 1700000100.0);
        ok = store.setValue(QStringLiteral("firedNotifications"), fired) && ok;
        return ok ? 0 : 1;
    }
    if (command == QLatin1String("fill") && argc >= 6) {
        const QString prefix = QString::fromLocal8Bit(argv[4]);
        const int count = std::atoi(argv[5]);
        for (int i = 0; i < count; ++i) {
            if (!store.setValue(prefix + QString::number(i), i))
                return 1;
        }
        return 0;
    }
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "--child") == 0)
        return child(argc, argv);
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
