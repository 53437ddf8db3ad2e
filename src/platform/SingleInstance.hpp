#pragma once

#include <chrono>
#include <QObject>
#include <QString>

class QDeadlineTimer;
class QLocalServer;
class QLocalSocket;

namespace vellumkite {

// One running application per user. The first start holds an exclusive lock on a file in the
// user's runtime folder for as long as it runs and listens on a local socket beside it; a later
// start finds the lock taken, asks the running one over the socket to open its window, and
// ends. The kernel drops the lock when its holder dies, so neither a crash nor a socket file
// left behind stops the next start.
//
// The exchange is one line each way: the later start sends what it wants, "open\n" (the window)
// or "history\n" (the History window), and the running one answers "ok\n" once it has announced
// the request.
class SingleInstance : public QObject {
    Q_OBJECT

public:
    enum class Role {
        primary,   // this process runs the application and listens for later starts
        secondary, // another process runs it and has been asked to open its window
        // Neither could be settled (no runtime folder, a socket that cannot be made, or a
        // running instance that does not answer); what went wrong is in error().
        unknown,
    };

    // folder: where the lock and the socket live; by default the user's runtime folder.
    explicit SingleInstance(QString folder = defaultFolder(), QObject* parent = nullptr);
    ~SingleInstance() override;
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    enum class Request { open, history };

    // Takes the lock and listens, or hands the request to the process holding it. A holder that
    // is still starting gets until the deadline to answer. Call once.
    Role start(std::chrono::milliseconds patience = std::chrono::seconds(5),
               Request request = Request::open);

    QString error() const { return error_; }
    QString socketPath() const;
    QString lockPath() const;

    // $XDG_RUNTIME_DIR (or the platform's equivalent); empty when there is none.
    static QString defaultFolder();

signals:
    // A later start asked for the window.
    void activationRequested();
    // A later start asked for the History window.
    void historyRequested();

private:
    bool lock();
    bool listen();
    enum class Outcome { answered, unanswered, unreachable };

    Role askHolder(std::chrono::milliseconds patience, Request request);
    Outcome send(const QDeadlineTimer& deadline, Request request);
    void accept();
    void serve(QLocalSocket* socket);

    QString folder_;
    QString error_;
    int lockFd_ = -1;
    QLocalServer* server_ = nullptr;
};

} // namespace vellumkite
