#include "Terminal.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <sys/ioctl.h>
#include <unistd.h>

namespace vellumkite {

namespace {

winsize windowSize(int fd) {
    winsize ws{};
    if (::ioctl(fd, TIOCGWINSZ, &ws) != 0)
        return {};
    return ws;
}

} // namespace

bool Terminal::isTerminal(int fd) {
    return ::isatty(fd) == 1;
}

int Terminal::columns(int fd) {
    return windowSize(fd).ws_col;
}

int Terminal::rows(int fd) {
    return windowSize(fd).ws_row;
}

StatusScreen::Style Terminal::screenStyle(int fd) {
    StatusScreen::Style style;
    const bool tty = isTerminal(fd);
    style.colour = tty && std::getenv("NO_COLOR") == nullptr;
    if (const int cols = tty ? columns(fd) : 0; cols > 0)
        style.width = std::clamp(cols - 1, 20, style.width);
    return style;
}

} // namespace vellumkite
