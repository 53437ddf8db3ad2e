#include "LogPosition.hpp"

#include <algorithm>
#include <unistd.h>

namespace vellumkite {

bool LogPosition::upToDate(const LogDirectory::Entry& e) const {
    if (e.size != offset)
        return false;
    if (stamp != 0)
        return e.stamp == stamp;
    return e.size == size && e.modified == modified && e.device == device && e.inode == inode;
}

bool LogPosition::readSinceChange(const LogDirectory::Entry& e) const {
    return stamp != 0 ? e.stamp == stamp : upToDate(e);
}

std::uint64_t LogPosition::fingerprint(int fd, std::uint64_t offset) {
    char head[256], tail[64];
    const auto headSize = static_cast<std::size_t>(std::min<std::uint64_t>(offset, sizeof head));
    const auto tailSize = static_cast<std::size_t>(std::min<std::uint64_t>(offset, sizeof tail));
    if (headSize == 0 || ::pread(fd, head, headSize, 0) != static_cast<ssize_t>(headSize) ||
        ::pread(fd, tail, tailSize, static_cast<off_t>(offset - tailSize)) !=
            static_cast<ssize_t>(tailSize))
        return 0;
    std::uint64_t h = 1469598103934665603ULL; // FNV-1a
    for (std::size_t i = 0; i < headSize; ++i)
        h = (h ^ static_cast<unsigned char>(head[i])) * 1099511628211ULL;
    for (std::size_t i = 0; i < tailSize; ++i)
        h = (h ^ static_cast<unsigned char>(tail[i])) * 1099511628211ULL;
    return h;
}

std::uint64_t LogPosition::startIn(int fd, const struct stat& st) const {
    if (offset == 0)
        return 0;
    if (static_cast<std::uint64_t>(st.st_dev) != device ||
        static_cast<std::uint64_t>(st.st_ino) != inode)
        return 0;
    if (static_cast<std::uint64_t>(st.st_size) < offset)
        return 0;
    char before = 0;
    if (::pread(fd, &before, 1, static_cast<off_t>(offset - 1)) != 1 || before != '\n')
        return 0;
    if (fingerprint(fd, offset) != print)
        return 0;
    return offset;
}

} // namespace vellumkite
