#pragma once

#include "Environment.hpp"

#include <filesystem>
#include <string>
#include <vector>

namespace vellumkite {

// Where the assistant keeps its configuration: the folders named by CLAUDE_CONFIG_DIR (a
// comma-separated list, blanks around entries and empty entries passed over), else ~/.claude.
struct AssistantConfig {
    // The entries of CLAUDE_CONFIG_DIR as given; none when it is unset or empty.
    static std::vector<std::string> listed(const Environment& env);
    // The one the assistant itself uses: the first entry, else ~/.claude; empty when no home
    // folder is known.
    static std::filesystem::path folder(const Environment& env);
    static std::filesystem::path settingsFile(const Environment& env);
};

} // namespace vellumkite
