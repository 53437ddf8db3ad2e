#include "SyncFolder.hpp"

#include "FileTime.hpp"
#include "MachineIdentity.hpp"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace vellumkite {

namespace {

constexpr std::string_view kPrefix = "vellumkite-";
constexpr std::string_view kSuffix = ".sqlite3";

} // namespace

std::string SyncFolder::fileName(std::string_view machineId) {
    return std::string(kPrefix) + std::string(machineId) + std::string(kSuffix);
}

std::optional<std::string> SyncFolder::machineOf(std::string_view name) {
    if (name.size() != kPrefix.size() + 36 + kSuffix.size() || !name.starts_with(kPrefix) ||
        !name.ends_with(kSuffix))
        return std::nullopt;
    const auto id = name.substr(kPrefix.size(), 36);
    if (!MachineIdentity::validId(id))
        return std::nullopt;
    return std::string(id);
}

std::string SyncFolder::temporaryName(std::string_view machineId) {
    static std::atomic<unsigned> counter{0};
    static const unsigned salt = std::random_device{}();
    std::string out = ".";
    out += fileName(machineId);
    out += '.';
    out += std::to_string(::getpid());
    out += '-';
    out += std::to_string(salt ^ counter++);
    out += ".tmp";
    return out;
}

bool SyncFolder::isTemporaryOf(std::string_view name, std::string_view machineId) {
    std::string start = ".";
    start += fileName(machineId);
    start += '.';
    return name.size() > start.size() + 4 && name.starts_with(start) && name.ends_with(".tmp");
}

SyncFolder::Listing SyncFolder::list(const std::filesystem::path& folder) {
    Listing out;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) {
        out.problem = std::strerror(errno);
        return out;
    }
    const int fd = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (!name.starts_with(kPrefix))
            continue;
        const auto machine = machineOf(name);
        if (!machine) {
            out.ignored.emplace_back(name);
            continue;
        }
        // Followed if a link: some sync engines keep a file's content elsewhere (git-annex).
        // Only read, so a link cannot make us write anywhere.
        struct stat st {};
        if (::fstatat(fd, entry->d_name, &st, 0) != 0 || !S_ISREG(st.st_mode)) {
            out.ignored.emplace_back(name);
            continue;
        }
        out.files.push_back(
            {*machine, folder / name, static_cast<std::int64_t>(st.st_size), modificationTime(st)});
    }
    ::closedir(dir);
    std::sort(out.files.begin(), out.files.end(),
              [](const File& a, const File& b) { return a.machine < b.machine; });
    std::sort(out.ignored.begin(), out.ignored.end());
    return out;
}

std::optional<std::string> SyncFolder::problem(const std::filesystem::path& folder) {
    struct stat st {};
    if (folder.empty() || !folder.is_absolute())
        return "is not an absolute path";
    if (::stat(folder.c_str(), &st) != 0)
        return errno == ENOENT ? "does not exist" : std::string(std::strerror(errno));
    if (!S_ISDIR(st.st_mode))
        return "is not a folder";
    if (::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0)
        return errno == EROFS ? "is on a read-only file system" : "cannot be written";
    return std::nullopt;
}

} // namespace vellumkite
