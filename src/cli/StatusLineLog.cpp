#include "StatusLineLog.hpp"

#include "AtomicFile.hpp"
#include "Fd.hpp"
#include "Limits.hpp"
#include "Timestamp.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vellumkite {

std::filesystem::path StatusLineLog::file() {
    const auto limits = Limits::file();
    return limits.empty() ? limits : limits.parent_path() / "statusline.log";
}

void StatusLineLog::add(const std::string& text, Instant now) {
    const auto path = file();
    if (path.empty() || !AtomicFile::makeFolders(path.parent_path()))
        return;
    // O_NONBLOCK: a FIFO planted in its place fails at once instead of waiting for a reader.
    const int fd = ::open(
        path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
    if (fd < 0)
        return;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid()) {
        if (static_cast<std::size_t>(st.st_size) > kMaxSize)
            (void)::ftruncate(fd, 0);
        std::string line = Timestamp::format(now) + " " + text;
        for (char& c : line)
            if (c == '\n' || c == '\r')
                c = ' ';
        (void)Fd::writeAll(fd, line + "\n");
    }
    ::close(fd);
}

} // namespace vellumkite
