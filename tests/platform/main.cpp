#include "PreferencesStore.hpp"

#include <cstring>
#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QVariantMap>

using vellumkite::PreferencesStore;

namespace {

// The test program doubles as a second process that uses the preferences file, so that types and
// changes are seen the way another run (or the terminal tool beside the app) sees them.
//   --child write PATH           stores one value of every type
//   --child fill PATH PREFIX N   stores PREFIX0 .. PREFIX(N-1), one write each
int child(int argc, char** argv) {
    if (argc < 4)
        return 2;
    const QString command = QString::fromLocal8Bit(argv[2]);
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
