#include "BoundedInput.hpp"

#include <cerrno>
#include <poll.h>
#include <unistd.h>

namespace vellumkite {

BoundedInput BoundedInput::read(int fd, std::size_t maxBytes, std::chrono::milliseconds timeout) {
    BoundedInput in;
    if (::isatty(fd)) {
        in.complete = true;
        return in;
    }
    using Steady = std::chrono::steady_clock;
    const auto deadline = Steady::now() + timeout;
    char buf[65536];
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Steady::now());
        if (left.count() <= 0)
            return in;
        // poll first so that a writer that keeps the pipe open without writing cannot hold us.
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(left.count()) + 1);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return in;
        }
        if (ready == 0)
            continue; // the deadline check above ends the loop
        // One byte past the limit is enough to know the input is too big.
        const std::size_t room = maxBytes + 1 - in.bytes.size();
        const ssize_t n = ::read(fd, buf, room < sizeof buf ? room : sizeof buf);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return in;
        }
        if (n == 0) {
            in.complete = true;
            return in;
        }
        in.bytes.append(buf, static_cast<std::size_t>(n));
        if (in.bytes.size() > maxBytes) {
            in.bytes.resize(maxBytes);
            return in;
        }
    }
}

} // namespace vellumkite
