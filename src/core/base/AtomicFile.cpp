#include "AtomicFile.hpp"

#include "Fd.hpp"
#include "UniqueFd.hpp"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace vellumkite {

namespace {

// True when the file at path is a regular file of ours, 0600, holding exactly `bytes`; then its
// modification time is set to now. Never follows a symlink.
bool touchIfSame(const std::filesystem::path& path, std::string_view bytes) {
    const UniqueFd file(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!file)
        return false;
    const int fd = file.get();
    struct stat st {};
    bool same = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
                (st.st_mode & 07777) == 0600 && st.st_size >= 0 &&
                static_cast<std::size_t>(st.st_size) == bytes.size();
    if (same) {
        std::string old(bytes.size() + 1, '\0'); // one more, to notice a file that grew
        std::size_t have = 0;
        for (;;) {
            const ssize_t n = ::read(fd, old.data() + have, old.size() - have);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            have += static_cast<std::size_t>(n);
            if (have == old.size())
                break;
        }
        same = have == bytes.size() && std::string_view(old.data(), have) == bytes &&
               ::futimens(fd, nullptr) == 0;
    }
    return same;
}

} // namespace

bool AtomicFile::update(const std::filesystem::path& path, std::string_view bytes) {
    return touchIfSame(path, bytes) || replace(path, bytes);
}

bool AtomicFile::makeFolders(const std::filesystem::path& folder) {
    if (folder.empty()) {
        errno = ENOENT;
        return false;
    }
    std::filesystem::path prefix;
    for (const auto& part : folder) {
        prefix /= part;
        if (::mkdir(prefix.c_str(), 0700) == 0) {
            // The umask may have narrowed the mode; never widened, but make it exactly ours.
            ::chmod(prefix.c_str(), 0700);
            continue;
        }
        if (errno != EEXIST)
            return false;
        struct stat st {};
        if (::stat(prefix.c_str(), &st) != 0)
            return false;
        if (!S_ISDIR(st.st_mode)) {
            errno = ENOTDIR;
            return false;
        }
    }
    return true;
}

bool AtomicFile::replace(const std::filesystem::path& path, std::string_view bytes, mode_t mode) {
    if (path.filename().empty()) {
        errno = EISDIR;
        return false;
    }
    const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : ".";
    if (!makeFolders(folder))
        return false;
    struct stat st {};
    // rename cannot put a file in place of a folder; leave whatever that is alone.
    if (::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        errno = EISDIR;
        return false;
    }

    std::string name = ".";
    name += path.filename().string();
    name += ".XXXXXX";
    std::string temp = (folder / name).string();
    UniqueFd file(::mkostemp(temp.data(), O_CLOEXEC));
    if (!file)
        return false;
    const int fd = file.get();
    bool ok = ::fchmod(fd, mode) == 0 && Fd::writeAll(fd, bytes) && ::fsync(fd) == 0;
    int error = ok ? 0 : errno;
    if (!file.close() && ok) {
        ok = false;
        error = errno;
    }
    if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        errno = error;
        return false;
    }
    // Makes the rename itself durable. Failing here loses nothing, so it is not reported.
    if (const UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)); dir)
        ::fsync(dir.get());
    return true;
}

} // namespace vellumkite
