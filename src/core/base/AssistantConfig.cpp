#include "AssistantConfig.hpp"

#include "UserFolders.hpp"

#include <algorithm>

namespace vellumkite {

std::vector<std::string> AssistantConfig::listed(const Environment& env) {
    std::vector<std::string> out;
    const auto list = env.get("CLAUDE_CONFIG_DIR");
    if (!list)
        return out;
    for (std::size_t at = 0; at <= list->size();) {
        const std::size_t comma = std::min(list->find(',', at), list->size());
        const std::string entry = list->substr(at, comma - at);
        const auto first = entry.find_first_not_of(" \t");
        if (first != std::string::npos)
            out.push_back(entry.substr(first, entry.find_last_not_of(" \t") - first + 1));
        at = comma + 1;
    }
    return out;
}

std::filesystem::path AssistantConfig::folder(const Environment& env) {
    if (const auto entries = listed(env); !entries.empty())
        return entries.front();
    const auto home = UserFolders::home(env);
    return home.empty() ? home : home / ".claude";
}

std::filesystem::path AssistantConfig::settingsFile(const Environment& env) {
    const auto f = folder(env);
    return f.empty() ? f : f / "settings.json";
}

} // namespace vellumkite
