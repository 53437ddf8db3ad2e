#include "Fd.hpp"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace vellumkite {

bool Fd::writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool Fd::setCloseOnExec(int fd) {
    const int flags = ::fcntl(fd, F_GETFD);
    return flags >= 0 && ::fcntl(fd, F_SETFD, flags | FD_CLOEXEC) == 0;
}

bool Fd::makePipe(int ends[2], bool nonBlocking) {
    if (::pipe(ends) != 0)
        return false;
    for (int i = 0; i < 2; ++i) {
        bool ok = setCloseOnExec(ends[i]);
        if (ok && nonBlocking) {
            const int flags = ::fcntl(ends[i], F_GETFL);
            ok = flags >= 0 && ::fcntl(ends[i], F_SETFL, flags | O_NONBLOCK) == 0;
        }
        if (!ok) {
            ::close(ends[0]);
            ::close(ends[1]);
            ends[0] = ends[1] = -1;
            return false;
        }
    }
    return true;
}

} // namespace vellumkite
