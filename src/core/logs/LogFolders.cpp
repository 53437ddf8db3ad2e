#include "LogFolders.hpp"

#include "AssistantConfig.hpp"
#include "UserFolders.hpp"

#include <algorithm>
#include <sys/stat.h>
#include <utility>

namespace vellumkite {

namespace {

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
    const auto entries = AssistantConfig::listed(env);
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

} // namespace vellumkite
