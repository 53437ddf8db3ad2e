#include "SingleInstance.hpp"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <QDeadlineTimer>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace vellumkite {

namespace {

constexpr char kOpen[] = "open\n";
constexpr char kHistory[] = "history\n";
constexpr char kReply[] = "ok\n";
// Longer than any request we send: a peer that writes more is not one of ours.
constexpr qint64 kMaxRequest = 64;
// A peer that connects and then says nothing is dropped after this.
constexpr int kPeerTimeoutMs = 2000;
constexpr int kRetryMs = 50;

QString errnoText() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

QString baseName() {
    // The folder is the user's own; the user id in the name keeps a shared fallback folder safe.
    return QStringLiteral("vellumkite-%1").arg(static_cast<qulonglong>(::getuid()));
}

} // namespace

SingleInstance::SingleInstance(QString folder, QObject* parent)
    : QObject(parent), folder_(std::move(folder)) {}

SingleInstance::~SingleInstance() {
    if (server_)
        server_->close(); // removes the socket file
    if (lockFd_ >= 0)
        ::close(lockFd_);
}

QString SingleInstance::defaultFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
}

QString SingleInstance::socketPath() const {
    return folder_ + QLatin1Char('/') + baseName() + QStringLiteral(".socket");
}

QString SingleInstance::lockPath() const {
    return folder_ + QLatin1Char('/') + baseName() + QStringLiteral(".lock");
}

SingleInstance::Role SingleInstance::start(std::chrono::milliseconds patience, Request request) {
    if (folder_.isEmpty()) {
        error_ = QStringLiteral("no runtime folder");
        return Role::unknown;
    }
    if (lock())
        return listen() ? Role::primary : Role::unknown;
    if (lockFd_ < 0)
        return Role::unknown;
    return askHolder(patience, request);
}

// True when this process now holds the lock. False with the file open when another holds it;
// false with no file when the lock cannot be taken at all.
bool SingleInstance::lock() {
    if (lockFd_ < 0) {
        const QByteArray path = QFile::encodeName(lockPath());
        lockFd_ =
            ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
        if (lockFd_ < 0) {
            error_ = QStringLiteral("cannot open %1: %2").arg(lockPath(), errnoText());
            return false;
        }
        struct stat st {};
        if (::fstat(lockFd_, &st) != 0 || !S_ISREG(st.st_mode)) {
            error_ = QStringLiteral("%1 is not a regular file").arg(lockPath());
            ::close(lockFd_);
            lockFd_ = -1;
            return false;
        }
    }
    if (::flock(lockFd_, LOCK_EX | LOCK_NB) == 0)
        return true;
    if (errno != EWOULDBLOCK && errno != EINTR) {
        error_ = QStringLiteral("cannot lock %1: %2").arg(lockPath(), errnoText());
        ::close(lockFd_);
        lockFd_ = -1;
    }
    return false;
}

bool SingleInstance::listen() {
    const QString path = socketPath();
    if (QFile::encodeName(path).size() >= static_cast<qsizetype>(sizeof(sockaddr_un::sun_path))) {
        error_ = QStringLiteral("the socket path %1 is too long").arg(path);
        return false;
    }
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    // We hold the lock, so a socket file here was left by a holder that died.
    QLocalServer::removeServer(path);
    if (!server_->listen(path)) {
        error_ = QStringLiteral("cannot listen on %1: %2").arg(path, server_->errorString());
        delete server_;
        server_ = nullptr;
        return false;
    }
    connect(server_, &QLocalServer::newConnection, this, &SingleInstance::accept);
    return true;
}

SingleInstance::Role SingleInstance::askHolder(std::chrono::milliseconds patience,
                                               Request request) {
    const QDeadlineTimer deadline(patience);
    // The holder may still be on its way to listening, or may be ending: the request is tried
    // again until it is answered or the holder is gone, and then this process takes its place.
    for (;;) {
        const auto outcome = send(deadline, request);
        if (outcome == Outcome::answered)
            return Role::secondary;
        if (lock())
            return listen() ? Role::primary : Role::unknown;
        if (lockFd_ < 0)
            return Role::unknown;
        if (deadline.hasExpired()) {
            error_ = QStringLiteral("the running instance does not answer on %1%2")
                         .arg(socketPath(), outcome == Outcome::unreachable
                                                ? QStringLiteral(" (no one listens)")
                                                : QString());
            return Role::unknown;
        }
        QThread::msleep(kRetryMs);
    }
}

SingleInstance::Outcome SingleInstance::send(const QDeadlineTimer& deadline, Request request) {
    QLocalSocket socket;
    socket.connectToServer(socketPath());
    if (!socket.waitForConnected(static_cast<int>(deadline.remainingTime())))
        return Outcome::unreachable;
    if (request == Request::history)
        socket.write(kHistory, sizeof kHistory - 1);
    else
        socket.write(kOpen, sizeof kOpen - 1);
    QByteArray reply;
    while (!reply.contains('\n') && reply.size() < kMaxRequest) {
        if (socket.bytesToWrite() > 0)
            socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime()));
        if (!socket.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
            break;
        reply += socket.read(kMaxRequest - reply.size());
    }
    return reply == kReply ? Outcome::answered : Outcome::unanswered;
}

void SingleInstance::accept() {
    while (QLocalSocket* socket = server_->nextPendingConnection())
        serve(socket);
}

void SingleInstance::serve(QLocalSocket* socket) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    QTimer::singleShot(kPeerTimeoutMs, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
    const auto read = [this, socket] {
        const QByteArray seen = socket->peek(kMaxRequest);
        if (!seen.contains('\n')) {
            if (seen.size() >= kMaxRequest) {
                socket->abort();
                socket->deleteLater();
            }
            return;
        }
        const QByteArray line = socket->read(seen.indexOf('\n') + 1);
        if (line == kOpen) {
            emit activationRequested();
        } else if (line == kHistory) {
            emit historyRequested();
        } else {
            socket->abort();
            socket->deleteLater();
            return;
        }
        socket->write(kReply, sizeof kReply - 1);
        socket->disconnectFromServer();
    };
    connect(socket, &QLocalSocket::readyRead, this, read);
    if (socket->bytesAvailable() > 0)
        read();
}

} // namespace vellumkite
