#include "Watch.hpp"

#include "Fd.hpp"
#include "SnapshotJson.hpp"
#include "Terminal.hpp"
#include "Thresholds.hpp"
#include "UsageStore.hpp"

#include <csignal>
#include <cstring>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace vellumkite {

namespace {

constexpr char kEnterScreen[] = "\x1b[?1049h\x1b[?25l";
constexpr char kLeaveScreen[] = "\x1b[?25h\x1b[?1049l";
constexpr int kSliceMs = 100;

volatile sig_atomic_t gStop = 0;
volatile sig_atomic_t gResized = 0;
// Set while the terminal is ours, for the handler's last resort below.
volatile sig_atomic_t gScreenTaken = 0;
volatile sig_atomic_t gKeysTaken = 0;
termios gSavedKeys{};

// Only flags, write, tcsetattr and _exit here: all async-signal-safe.
void onStop(int signal) {
    if (gStop) {
        // A second Ctrl-C while a long pass keeps the loop from looking: give the terminal back
        // and go at once.
        if (gKeysTaken)
            ::tcsetattr(STDIN_FILENO, TCSANOW, &gSavedKeys);
        if (gScreenTaken && ::write(STDOUT_FILENO, kLeaveScreen, sizeof kLeaveScreen - 1) < 0) {
            // Nothing more can be done from here.
        }
        ::_exit(128 + signal);
    }
    gStop = 1;
}

void onResize(int) {
    gResized = 1;
}

void install(int signal, void (*handler)(int)) {
    struct sigaction sa {};
    sa.sa_handler = handler;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0; // no SA_RESTART: a signal cuts the current sleep short
    ::sigaction(signal, &sa, nullptr);
}

// The alternate screen with the cursor hidden, and keys read one at a time without echo, for as
// long as it lives.
class ScreenSession {
public:
    ScreenSession(bool keys) {
        if (keys && ::tcgetattr(STDIN_FILENO, &gSavedKeys) == 0) {
            termios raw = gSavedKeys;
            raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO); // ISIG stays: Ctrl-C works
            raw.c_cc[VMIN] = 1;
            raw.c_cc[VTIME] = 0;
            gKeysTaken = ::tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
        }
        Fd::writeAll(STDOUT_FILENO, kEnterScreen);
        gScreenTaken = 1;
    }
    ~ScreenSession() {
        Fd::writeAll(STDOUT_FILENO, kLeaveScreen);
        gScreenTaken = 0;
        if (gKeysTaken)
            ::tcsetattr(STDIN_FILENO, TCSANOW, &gSavedKeys);
        gKeysTaken = 0;
    }
    ScreenSession(const ScreenSession&) = delete;
    ScreenSession& operator=(const ScreenSession&) = delete;

    bool keys() const { return gKeysTaken; }
};

// One frame: from the top-left corner, each line clearing what is left of the old one, then
// everything below cleared, so nothing is blanked first and nothing flickers. Cut to the
// terminal's height so that it never scrolls.
std::string frame(const std::string& report, int rows) {
    std::string out = "\x1b[H";
    std::size_t start = 0;
    int row = 0;
    const std::string footer = "Vellumkite \u00b7 q to quit";
    std::string text = report + "\n" + footer + "\n";
    while (start < text.size() && (rows <= 0 || row < rows)) {
        const std::size_t end = text.find('\n', start);
        if (row > 0)
            out += "\r\n";
        out += text.substr(start, end - start) + "\x1b[K";
        start = end + 1;
        ++row;
    }
    return out + "\x1b[J";
}

// Waits until the deadline, a signal or a key. True when it is time to stop.
bool waitUntil(std::chrono::steady_clock::time_point deadline, bool keys) {
    while (!gStop) {
        if (gResized)
            return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        const int slice = static_cast<int>(std::min<std::int64_t>(left.count(), kSliceMs));
        if (!keys) {
            ::poll(nullptr, 0, slice);
            continue;
        }
        pollfd p{STDIN_FILENO, POLLIN, 0};
        if (::poll(&p, 1, slice) > 0) {
            char c = 0;
            const ssize_t n = ::read(STDIN_FILENO, &c, 1);
            if (n == 1 && (c == 'q' || c == 'Q'))
                return true;
            if (n == 0) // the terminal is gone
                return true;
        }
    }
    return true;
}

} // namespace

int Watch::run(UsageStore& store, const RefreshPass::Inputs& inputs, const Preferences& preferences,
               bool terminal, bool json) {
    gStop = 0;
    gResized = 0;
    install(SIGINT, onStop);
    install(SIGTERM, onStop);
    install(SIGHUP, onStop);
    install(SIGWINCH, onResize);
    std::signal(SIGPIPE, SIG_IGN);

    if (!terminal || json) {
        for (bool first = true;; first = false) {
            const auto next = std::chrono::steady_clock::now() + kInterval;
            const Snapshot s = RefreshPass::run(store, inputs);
            if (gStop)
                return 0;
            std::string text = json || first ? "" : "\n";
            text += json
                        ? SnapshotJson::full(s) + "\n"
                        : StatusScreen::render(s, Thresholds::load(preferences, inputs.environment),
                                               systemNow(), Terminal::screenStyle(STDOUT_FILENO));
            if (!Fd::writeAll(STDOUT_FILENO, text))
                return 1;
            if (waitUntil(next, false))
                return 0;
        }
    }

    ScreenSession screen(Terminal::isTerminal(STDIN_FILENO));
    // The first pass over a week of logs can take a while; say so rather than show a blank.
    if (!Fd::writeAll(STDOUT_FILENO,
                      frame("Reading your chats\u2026\n", Terminal::rows(STDOUT_FILENO))))
        return 1;
    Snapshot s;
    auto next = std::chrono::steady_clock::now();
    while (!gStop) {
        if (!gResized) {
            next = std::chrono::steady_clock::now() + kInterval;
            s = RefreshPass::run(store, inputs);
            if (gStop)
                break;
        }
        gResized = 0;
        const std::string report =
            StatusScreen::render(s, Thresholds::load(preferences, inputs.environment), systemNow(),
                                 Terminal::screenStyle(STDOUT_FILENO));
        if (!Fd::writeAll(STDOUT_FILENO, frame(report, Terminal::rows(STDOUT_FILENO))))
            return 1;
        if (waitUntil(next, screen.keys()))
            break;
    }
    return 0;
}

} // namespace vellumkite
