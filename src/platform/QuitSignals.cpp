#include "QuitSignals.hpp"

#include "Fd.hpp"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <unistd.h>

namespace vellumkite {

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

// The pipe's ends; -1 while no QuitSignals lives. Only the handler's write touches them
// concurrently, and it only reads the write end.
int g_read = -1;
volatile sig_atomic_t g_write = -1;

extern "C" void onSignal(int signal) {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signal);
    if (g_write >= 0)
        (void)!::write(g_write, &byte, 1); // a full pipe already holds a pending quit
    errno = saved;
}

void setAction(int signal, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(signal, &action, nullptr);
}

} // namespace

QuitSignals::QuitSignals(QObject* parent) : QObject(parent) {
    if (g_read >= 0)
        return;
    int ends[2];
    if (!Fd::makePipe(ends, true))
        return;
    g_read = ends[0];
    g_write = ends[1];
    notifier_ = new QSocketNotifier(g_read, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &QuitSignals::drain);
    for (const int signal : kSignals)
        setAction(signal, onSignal);
}

QuitSignals::~QuitSignals() {
    if (!notifier_)
        return;
    for (const int signal : kSignals)
        setAction(signal, SIG_DFL);
    const int write = g_write;
    g_write = -1;
    ::close(write);
    ::close(g_read);
    g_read = -1;
}

void QuitSignals::drain() {
    unsigned char bytes[64];
    ssize_t n = 0;
    int last = 0;
    while ((n = ::read(g_read, bytes, sizeof bytes)) > 0)
        last = bytes[n - 1];
    if (last == 0)
        return;
    emit received(last);
    QCoreApplication::quit();
}

} // namespace vellumkite
