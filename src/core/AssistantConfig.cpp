#include "AssistantConfig.hpp"

#include "UserHome.hpp"

namespace vellumkite {

std::vector<std::filesystem::path> AssistantConfig::folders(const Environment& env) {
    std::vector<std::filesystem::path> out;
    if (const auto list = env.get("CLAUDE_CONFIG_DIR")) {
        std::size_t at = 0;
        while (at <= list->size()) {
            std::size_t comma = list->find(',', at);
            if (comma == std::string::npos)
                comma = list->size();
            std::string entry = list->substr(at, comma - at);
            entry.erase(0, entry.find_first_not_of(' '));
            entry.erase(entry.find_last_not_of(' ') + 1);
            if (!entry.empty())
                out.emplace_back(entry);
            at = comma + 1;
        }
    }
    if (out.empty()) {
        const auto home = UserHome::path();
        if (!home.empty())
            out.push_back(home / ".claude");
    }
    return out;
}

std::filesystem::path AssistantConfig::folder(const Environment& env) {
    const auto all = folders(env);
    return all.empty() ? std::filesystem::path() : all.front();
}

std::filesystem::path AssistantConfig::settingsFile(const Environment& env) {
    const auto f = folder(env);
    return f.empty() ? f : f / "settings.json";
}

} // namespace vellumkite
