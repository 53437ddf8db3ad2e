#include "LogDirectory.hpp"

#include "FileTime.hpp"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
// Change reports come from inotify; elsewhere (and in a build that turns them off, which tests
// the path a Mac takes) every pass walks the tree.
#if defined(__linux__) && !defined(VELLUMKITE_NO_INOTIFY)
#define VELLUMKITE_INOTIFY 1
#include <sys/inotify.h>
#endif

namespace vellumkite {

namespace {

bool hasLogExtension(std::string_view name) {
    return name.size() > 6 && name.substr(name.size() - 6) == ".jsonl";
}

std::string join(const std::string& folder, std::string_view name) {
    std::string path = folder;
    if (path.empty() || path.back() != '/')
        path += '/';
    path += name;
    return path;
}

#ifdef VELLUMKITE_INOTIFY
constexpr std::uint32_t kFolderEvents = IN_CREATE | IN_DELETE | IN_MODIFY | IN_ATTRIB |
                                        IN_CLOSE_WRITE | IN_MOVED_FROM | IN_MOVED_TO |
                                        IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR | IN_DONT_FOLLOW;
#endif

// Stamps come from one counter, so that a log's stamp never repeats another listing's.
std::uint64_t nextStamp() {
    static std::atomic<std::uint64_t> last{0};
    return ++last;
}

} // namespace

LogDirectory::LogDirectory(std::filesystem::path root, bool watch) : root_(std::move(root)) {
#ifdef VELLUMKITE_INOTIFY
    if (watch)
        notifyFd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
#else
    (void)watch;
#endif
}

bool LogDirectory::canWatch() {
#ifdef VELLUMKITE_INOTIFY
    return true;
#else
    return false;
#endif
}

LogDirectory::~LogDirectory() {
    if (notifyFd_ >= 0)
        ::close(notifyFd_);
}

void LogDirectory::stopWatching() {
    if (notifyFd_ >= 0)
        ::close(notifyFd_);
    notifyFd_ = -1;
    watches_.clear();
}

const LogDirectory::Listing& LogDirectory::list() {
    std::unordered_set<std::string> dirty;
    // No watch on the root (it does not exist yet): nothing would report its arrival.
    const bool watching = notifyFd_ >= 0 && !watches_.empty();
    const Reports reports = watching ? drainReports(dirty) : Reports::lost;
    if (reports != Reports::complete || ++sinceFullWalk_ > kFullWalkEvery) {
        // Reports lost (an overflowing queue): any file may have been rewritten unseen.
        fullWalk(watching && reports == Reports::lost);
    } else {
        // A symlink's target may live outside the watched folders.
        for (const auto& [path, entry] : files_)
            if (entry.viaLink)
                dirty.insert(path);
    }
    // Reported files get a new stamp even when their figures look the same: a file deleted and
    // written again can come back with the same size, inode and (coarse) time.
    for (const auto& path : dirty)
        restat(path);
    return files_;
}

void LogDirectory::fullWalk(bool forgetStamps) {
    sinceFullWalk_ = 0;
    // Watches are added again during the walk; a folder already watched keeps its descriptor,
    // now under the path it has today.
    watches_.clear();
    Listing fresh;
    walk(root_.string(), fresh);
    for (auto& [path, entry] : fresh) {
        const auto old = files_.find(path);
        entry.stamp = !forgetStamps && old != files_.end() && old->second.sameFile(entry)
                          ? old->second.stamp
                          : nextStamp();
    }
    files_ = std::move(fresh);
}

void LogDirectory::walk(const std::string& top, Listing& into) {
    struct Folder {
        int fd;
        std::string path;
    };
    std::vector<Folder> stack;
    // The root itself may be a symlink (a moved ~/.claude); folders below it are not followed.
    const int topFd = ::open(top.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (topFd < 0)
        return;
    stack.push_back({topFd, top});
    while (!stack.empty()) {
        Folder folder = std::move(stack.back());
        stack.pop_back();
#ifdef VELLUMKITE_INOTIFY
        // Watch before reading, so that nothing written in between goes unreported.
        if (notifyFd_ >= 0) {
            const std::uint32_t mask =
                folder.path == top ? kFolderEvents & ~std::uint32_t{IN_DONT_FOLLOW} : kFolderEvents;
            const int wd = ::inotify_add_watch(notifyFd_, folder.path.c_str(), mask);
            if (wd >= 0)
                watches_[wd] = folder.path;
            else
                stopWatching(); // out of watches, or a folder we cannot watch: plain walks
        }
#endif
        DIR* d = ::fdopendir(folder.fd);
        if (!d) {
            ::close(folder.fd);
            continue;
        }
        const int fd = ::dirfd(d);
        while (const dirent* e = ::readdir(d)) {
            const char* name = e->d_name;
            if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
                continue;
            unsigned char type = e->d_type;
            if (type == DT_UNKNOWN) {
                struct stat lst;
                if (::fstatat(fd, name, &lst, AT_SYMLINK_NOFOLLOW) != 0)
                    continue;
                type = S_ISDIR(lst.st_mode) ? DT_DIR : S_ISLNK(lst.st_mode) ? DT_LNK : DT_REG;
            }
            if (type == DT_DIR) {
                const int sub = ::openat(fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
                if (sub >= 0)
                    stack.push_back({sub, join(folder.path, name)});
                continue;
            }
            if (!hasLogExtension(name))
                continue;
            struct stat st;
            if (::fstatat(fd, name, &st, 0) != 0 || !S_ISREG(st.st_mode))
                continue;
            into[join(folder.path, name)] = {
                static_cast<std::uint64_t>(st.st_size), modificationTime(st), type == DT_LNK,
                static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
        }
        ::closedir(d);
    }
}

void LogDirectory::restat(const std::string& path) {
    struct stat lst, st;
    if (::lstat(path.c_str(), &lst) != 0 || ::stat(path.c_str(), &st) != 0 ||
        !S_ISREG(st.st_mode)) {
        files_.erase(path);
        return;
    }
    files_[path] = {static_cast<std::uint64_t>(st.st_size),
                    modificationTime(st),
                    S_ISLNK(lst.st_mode),
                    static_cast<std::uint64_t>(st.st_dev),
                    static_cast<std::uint64_t>(st.st_ino),
                    nextStamp()};
}

LogDirectory::Reports LogDirectory::drainReports(std::unordered_set<std::string>& dirty) {
#ifdef VELLUMKITE_INOTIFY
    Reports out = Reports::complete;
    alignas(inotify_event) char buf[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(notifyFd_, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 && errno == EAGAIN ? out : Reports::lost; // drained, or trust nothing
        for (ssize_t at = 0; at < n;) {
            const auto* ev = reinterpret_cast<const inotify_event*>(buf + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
            if (ev->mask & IN_Q_OVERFLOW) {
                out = Reports::lost;
                continue;
            }
            const auto folder = watches_.find(ev->wd);
            if (folder == watches_.end())
                continue;
            // Folders that appear, vanish or move: walk again rather than track renames.
            if ((ev->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)) ||
                ((ev->mask & IN_ISDIR) &&
                 (ev->mask & (IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO)))) {
                if (out == Reports::complete)
                    out = Reports::needWalk;
                continue;
            }
            if (ev->len == 0 || (ev->mask & IN_ISDIR))
                continue;
            const std::string_view name(ev->name);
            if (hasLogExtension(name))
                dirty.insert(join(folder->second, name));
        }
    }
#else
    (void)dirty;
    return Reports::lost;
#endif
}

} // namespace vellumkite
