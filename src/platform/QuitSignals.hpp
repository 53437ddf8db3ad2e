#pragma once

#include <QObject>

class QSocketNotifier;

namespace vellumkite {

// Ends the application's event loop on SIGTERM, SIGINT or SIGHUP, so that a logout, a Ctrl-C in
// a terminal or a plain `kill` take the same orderly way out as "Quit": destructors run, the
// store thread stops and the instance socket is removed. The handler only writes a byte to a
// pipe; the quit itself happens on the event loop. One object at a time; the default actions
// come back when it is destroyed.
class QuitSignals : public QObject {
    Q_OBJECT

public:
    explicit QuitSignals(QObject* parent = nullptr);
    ~QuitSignals() override;
    QuitSignals(const QuitSignals&) = delete;
    QuitSignals& operator=(const QuitSignals&) = delete;

    // False when the pipe could not be made; the signals then keep their default actions.
    bool isActive() const { return notifier_ != nullptr; }

signals:
    // Before the event loop is asked to end; the signal's number.
    void received(int signal);

private:
    void drain();

    QSocketNotifier* notifier_ = nullptr;
};

} // namespace vellumkite
