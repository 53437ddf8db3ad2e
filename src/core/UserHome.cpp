#include "UserHome.hpp"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace vellumkite {

std::filesystem::path UserHome::path() {
    if (const char* home = std::getenv("HOME"); home && home[0] == '/')
        return home;
    std::vector<char> buf(16384);
    passwd pw{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found && found->pw_dir &&
        found->pw_dir[0] == '/')
        return found->pw_dir;
    return {};
}

} // namespace vellumkite
