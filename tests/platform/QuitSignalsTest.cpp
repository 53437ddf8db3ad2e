#include "QuitSignals.hpp"

#include "TestSupport.hpp"

#include <csignal>
#include <gtest/gtest.h>
#include <QFileInfo>
#include <QTemporaryDir>

using namespace vellumkite;

namespace {

// The helper runs as the single instance with QuitSignals (see main.cpp).
struct Helper {
    QTemporaryDir folder;
    QProcess process;

    Helper() {
        process.start(QCoreApplication::applicationFilePath(),
                      {QStringLiteral("--child"), QStringLiteral("signals"), folder.path()});
    }
    ~Helper() {
        process.kill();
        process.waitForFinished();
    }
    bool ready() {
        return test::waitUntil([&] {
            process.waitForReadyRead(20);
            return process.peek(64).contains("ready\n");
        });
    }
    QString socket() const {
        return folder.filePath(QStringLiteral("vellumkite-%1.socket").arg(::getuid()));
    }
};

} // namespace

TEST(QuitSignalsTest, EachSignalEndsTheEventLoopInOrder) {
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        Helper helper;
        ASSERT_TRUE(helper.ready()) << signal;
        ASSERT_TRUE(QFileInfo::exists(helper.socket()));
        ::kill(static_cast<pid_t>(helper.process.processId()), signal);
        ASSERT_TRUE(helper.process.waitForFinished(5000)) << signal;
        EXPECT_EQ(helper.process.exitStatus(), QProcess::NormalExit) << signal;
        EXPECT_EQ(helper.process.exitCode(), 0) << signal;
        const QByteArray out = helper.process.readAllStandardOutput();
        EXPECT_TRUE(
            out.contains(QByteArray("received ") + QByteArray::number(signal) + "\nended\n"))
            << out.toStdString();
        // Destructors ran: the instance took its socket along.
        EXPECT_FALSE(QFileInfo::exists(helper.socket())) << signal;
    }
}

TEST(QuitSignalsTest, DefaultActionsComeBackAndOnlyOneIsActive) {
    {
        QuitSignals first;
        EXPECT_TRUE(first.isActive());
        QuitSignals second;
        EXPECT_FALSE(second.isActive());
    }
    struct sigaction current {};
    ::sigaction(SIGTERM, nullptr, &current);
    EXPECT_EQ(current.sa_handler, SIG_DFL);
    // A new one works again after the first has gone.
    QuitSignals again;
    EXPECT_TRUE(again.isActive());
}
