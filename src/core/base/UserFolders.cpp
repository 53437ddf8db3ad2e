#include "UserFolders.hpp"

#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace vellumkite {

namespace {

std::filesystem::path absoluteOr(const Environment& env, std::string_view name,
                                 const std::filesystem::path& home, const char* below) {
    if (const auto value = env.get(name); value && !value->empty() && value->front() == '/')
        return std::filesystem::path(*value).lexically_normal();
    if (home.empty())
        return {};
    return home / below;
}

} // namespace

std::filesystem::path UserFolders::home(const Environment& env) {
    if (const auto home = env.get("HOME"); home && !home->empty() && home->front() == '/')
        return *home;
    std::vector<char> buf(16384);
    passwd pw{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found && found->pw_dir &&
        found->pw_dir[0] == '/')
        return found->pw_dir;
    return {};
}

std::filesystem::path UserFolders::configHome(const Environment& env) {
    return absoluteOr(env, "XDG_CONFIG_HOME", home(env), ".config");
}

std::filesystem::path UserFolders::dataHome(const Environment& env) {
    return absoluteOr(env, "XDG_DATA_HOME", home(env), ".local/share");
}

std::filesystem::path UserFolders::appData(const Environment& env) {
#ifdef __APPLE__
    const auto base = home(env);
    return base.empty() ? base : base / "Library" / "Application Support" / "Vellumkite";
#else
    const auto base = dataHome(env);
    return base.empty() ? base : base / "Vellumkite";
#endif
}

} // namespace vellumkite
