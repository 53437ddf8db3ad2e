#pragma once

#include "Environment.hpp"

#include <filesystem>
#include <vector>

namespace vellumkite {

// Where the assistant keeps its configuration: the folders named by CLAUDE_CONFIG_DIR (a
// comma-separated list, empty entries passed over), else ~/.claude.
struct AssistantConfig {
    static std::vector<std::filesystem::path> folders(const Environment& env);
    // The one the assistant itself uses: the first.
    static std::filesystem::path folder(const Environment& env);
    static std::filesystem::path settingsFile(const Environment& env);
};

} // namespace vellumkite
