#include "LogFolders.hpp"

#include "UserFolders.hpp"

#include <algorithm>
#include <sys/stat.h>
#include <utility>

namespace vellumkite {

namespace {

std::vector<std::string> configEntries(const Environment& env) {
    std::vector<std::string> out;
    const auto list = env.get("CLAUDE_CONFIG_DIR");
    if (!list)
        return out;
    std::size_t at = 0;
    while (at <= list->size()) {
        const std::size_t comma = std::min(list->find(',', at), list->size());
        std::string entry = list->substr(at, comma - at);
        const auto first = entry.find_first_not_of(" \t");
        const auto last = entry.find_last_not_of(" \t");
        if (first != std::string::npos)
            out.push_back(entry.substr(first, last - first + 1));
        at = comma + 1;
    }
    return out;
}

bool isFolder(const std::filesystem::path& p) {
    struct stat st;
    return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Adds a folder unless the same one is already there, by identity rather than by name.
void addOnce(LogFolders& out, std::vector<std::pair<dev_t, ino_t>>& seen,
             const std::filesystem::path& folder) {
    struct stat st;
    if (::stat(folder.c_str(), &st) == 0) {
        const std::pair id{st.st_dev, st.st_ino};
        for (const auto& s : seen)
            if (s == id)
                return;
        seen.push_back(id);
    } else {
        for (const auto& f : out.folders)
            if (f == folder)
                return;
    }
    out.folders.push_back(folder);
}

} // namespace

LogFolders LogFolders::find(const Environment& env) {
    LogFolders out;
    std::vector<std::pair<dev_t, ino_t>> seen;
    const auto entries = configEntries(env);
    if (!entries.empty()) {
        for (const auto& entry : entries) {
            const std::filesystem::path folder(entry);
            if (!isFolder(folder)) {
                out.missing.push_back(entry);
                continue;
            }
            const auto projects = folder / "projects";
            addOnce(out, seen, isFolder(projects) ? projects : folder);
        }
        return out;
    }
    // The usual folder is watched even before it exists, so that the first chat shows up.
    if (const auto home = UserFolders::home(env); !home.empty())
        addOnce(out, seen, home / ".claude" / "projects");
    if (const auto config = UserFolders::configHome(env); !config.empty()) {
        const auto legacy = config / "claude" / "projects";
        if (isFolder(legacy))
            addOnce(out, seen, legacy);
    }
    return out;
}

std::filesystem::path LogFolders::configFolder(const Environment& env) {
    if (const auto entries = configEntries(env); !entries.empty())
        return entries.front();
    const auto home = UserFolders::home(env);
    return home.empty() ? home : home / ".claude";
}

} // namespace vellumkite
