#pragma once

#include "Environment.hpp"

#include <filesystem>
#include <string>
#include <vector>

namespace vellumkite {

// The folders the assistant writes its chat logs to. CLAUDE_CONFIG_DIR, when set and not empty,
// is a comma-separated list: each entry is a configuration folder (its logs are in projects/)
// or, without a projects/ subfolder, a logs folder itself. Otherwise ~/.claude/projects, and
// $XDG_CONFIG_HOME/claude/projects where some versions wrote. A folder reached twice (by two
// names, or through a symlink) is listed once.
struct LogFolders {
    std::vector<std::filesystem::path> folders; // in the order given
    std::vector<std::string> missing;           // listed entries that do not exist

    static LogFolders find(const Environment& env = Environment::process());
};

} // namespace vellumkite
