#include "SingleInstance.hpp"

#include "Fd.hpp"
#include "TestSupport.hpp"

#include <atomic>
#include <csignal>
#include <gtest/gtest.h>
#include <memory>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

using namespace vellumkite;
using namespace std::chrono_literals;

namespace {

// A later start, run as its own process; the event loop turns meanwhile so that an instance in
// this process can answer it.
struct Start {
    std::unique_ptr<QProcess> process = std::make_unique<QProcess>();

    explicit Start(const QString& folder, const char* command = "instance") {
        process->start(QCoreApplication::applicationFilePath(),
                       {QStringLiteral("--child"), QLatin1String(command), folder});
        process->waitForStarted();
    }
    ~Start() {
        if (process->state() != QProcess::NotRunning) {
            process->kill();
            process->waitForFinished();
        }
    }
    // The exit code, or -1 when it has not ended in time or did not end normally.
    int finish(int timeoutMs = 5000) {
        test::waitUntil([&] { return process->state() == QProcess::NotRunning; }, timeoutMs);
        if (process->state() != QProcess::NotRunning ||
            process->exitStatus() != QProcess::NormalExit)
            return -1;
        return process->exitCode();
    }
    bool says(const QByteArray& line, int timeoutMs = 5000) {
        QByteArray seen;
        return test::waitUntil(
            [&] {
                seen += process->readAllStandardOutput();
                return seen.contains(line);
            },
            timeoutMs);
    }
};

// Connects to the socket from another thread, sends the bytes and returns what came back
// before the peer closed.
QByteArray exchange(const QString& path, const QByteArray& request) {
    std::atomic<bool> done{false};
    QByteArray reply;
    std::thread peer([&] {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        Fd::setCloseOnExec(fd);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray name = QFile::encodeName(path);
        std::memcpy(address.sun_path, name.constData(), name.size());
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
            (void)!::write(fd, request.constData(), request.size());
            char buffer[256];
            for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
                reply.append(buffer, n);
        }
        ::close(fd);
        done = true;
    });
    test::waitUntil([&] { return done.load(); }, 10000);
    peer.join();
    return reply;
}

} // namespace

TEST(SingleInstanceTest, LaterStartsAskTheRunningOneAndEnd) {
    QTemporaryDir folder;
    SingleInstance instance(folder.path());
    int asked = 0;
    QObject::connect(&instance, &SingleInstance::activationRequested, [&] { ++asked; });
    ASSERT_EQ(instance.start(), SingleInstance::Role::primary) << instance.error().toStdString();
    EXPECT_EQ(test::modeOf(instance.lockPath()) & 077, 0);
    EXPECT_EQ(test::modeOf(instance.socketPath()) & 077, 0);

    for (int i = 1; i <= 3; ++i) {
        QElapsedTimer clock;
        clock.start();
        Start later(folder.path());
        EXPECT_EQ(later.finish(), 0);
        EXPECT_LT(clock.elapsed(), 1000);
        EXPECT_EQ(asked, i);
    }
    // A second object in this very process is no exception.
    SingleInstance again(folder.path());
    EXPECT_EQ(again.start(50ms), SingleInstance::Role::unknown);

    // A start that asks for the History window gets it, not the popover.
    int history = 0;
    QObject::connect(&instance, &SingleInstance::historyRequested, [&] { ++history; });
    test::waitUntil([] { return false; }, 300); // the in-process start's request, still queued
    const int opened = asked;
    EXPECT_EQ(exchange(instance.socketPath(), "history\n"), "ok\n");
    EXPECT_EQ(history, 1);
    EXPECT_EQ(asked, opened);
}

TEST(SingleInstanceTest, SocketLeftByAKilledInstanceDoesNotStopTheNextStart) {
    QTemporaryDir folder;
    {
        Start crashed(folder.path());
        ASSERT_TRUE(crashed.says("primary\n"));
        ::kill(static_cast<pid_t>(crashed.process->processId()), SIGKILL);
        crashed.finish();
    }
    SingleInstance next(folder.path());
    ASSERT_TRUE(QFileInfo::exists(next.socketPath())) << "the killed instance left no socket";
    ASSERT_EQ(next.start(), SingleInstance::Role::primary) << next.error().toStdString();
    bool asked = false;
    QObject::connect(&next, &SingleInstance::activationRequested, [&] { asked = true; });
    Start later(folder.path());
    EXPECT_EQ(later.finish(), 0);
    EXPECT_TRUE(asked);
}

TEST(SingleInstanceTest, TakesOverWhenTheHolderEndsWhileItWaits) {
    QTemporaryDir folder;
    Start holder(folder.path(), "hold");
    ASSERT_TRUE(holder.says("holding\n"));
    // The holder never listens: the start waits, then gives up without claiming the role.
    SingleInstance waiting(folder.path());
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(waiting.start(300ms), SingleInstance::Role::unknown);
    EXPECT_GE(clock.elapsed(), 300);
    EXPECT_TRUE(waiting.error().contains("does not answer")) << waiting.error().toStdString();

    // While a start waits, the holder ends: the waiting start runs the application instead.
    std::thread killer([pid = holder.process->processId()] {
        std::this_thread::sleep_for(200ms);
        ::kill(static_cast<pid_t>(pid), SIGKILL);
    });
    SingleInstance patient(folder.path());
    EXPECT_EQ(patient.start(5s), SingleInstance::Role::primary) << patient.error().toStdString();
    killer.join();
}

TEST(SingleInstanceTest, OnlyTheRightAnswerCountsAsTheRunningInstance) {
    QTemporaryDir folder;
    Start holder(folder.path(), "hold");
    ASSERT_TRUE(holder.says("holding\n"));
    // Someone else listens where the running instance would, and answers every request wrongly.
    SingleInstance waiting(folder.path());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    Fd::setCloseOnExec(fd);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(waiting.socketPath());
    std::memcpy(address.sun_path, name.constData(), name.size());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(fd, 8), 0);
    std::atomic<bool> stop{false};
    std::thread impostor([&] {
        while (!stop) {
            const int peer = ::accept(fd, nullptr, nullptr);
            if (peer < 0)
                break;
            char buffer[64];
            (void)!::read(peer, buffer, sizeof buffer);
            (void)!::write(peer, "no\n", 3);
            ::close(peer);
        }
    });
    EXPECT_EQ(waiting.start(300ms), SingleInstance::Role::unknown);
    EXPECT_TRUE(waiting.error().contains("does not answer")) << waiting.error().toStdString();
    stop = true;
    ::shutdown(fd, SHUT_RDWR);
    impostor.join();
    ::close(fd);
}

TEST(SingleInstanceTest, StrangePeersAreDroppedAndTheNextRequestStillWorks) {
    QTemporaryDir folder;
    SingleInstance instance(folder.path());
    int asked = 0;
    QObject::connect(&instance, &SingleInstance::activationRequested, [&] { ++asked; });
    ASSERT_EQ(instance.start(), SingleInstance::Role::primary);

    EXPECT_EQ(exchange(instance.socketPath(), "quit\n"), "");
    EXPECT_EQ(exchange(instance.socketPath(), QByteArray(1000, 'x')), "");
    EXPECT_EQ(exchange(instance.socketPath(), "open"), ""); // closed before the line ended
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(exchange(instance.socketPath(), "open\n"), "ok\n");
    EXPECT_EQ(asked, 1);
}

TEST(SingleInstanceTest, UnusableFolderOrLockFileSettlesNothing) {
    SingleInstance none{QString()};
    EXPECT_EQ(none.start(), SingleInstance::Role::unknown);

    QTemporaryDir folder;
    SingleInstance missing(folder.filePath("gone"));
    EXPECT_EQ(missing.start(), SingleInstance::Role::unknown);
    EXPECT_TRUE(missing.error().contains("cannot open")) << missing.error().toStdString();

    // A lock path that is a pipe or a link is never used.
    SingleInstance fifo(folder.path());
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo.lockPath()).constData(), 0600), 0);
    EXPECT_EQ(fifo.start(100ms), SingleInstance::Role::unknown);
    EXPECT_TRUE(fifo.error().contains("not a regular file")) << fifo.error().toStdString();

    QTemporaryDir other;
    SingleInstance link(other.path());
    ASSERT_TRUE(QFile::link(folder.filePath("elsewhere"), link.lockPath()));
    EXPECT_EQ(link.start(100ms), SingleInstance::Role::unknown);
    EXPECT_FALSE(QFileInfo::exists(folder.filePath("elsewhere")));
}
