#pragma once

// Another user for tests where ownership matters: "nobody", reached from root through setpriv.
// Without root (or setpriv) there is no other user to be, and the tests that need one say so.
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace vellumkite::testing {

struct OtherUser {
    static constexpr uid_t kUid = 65534;
    static constexpr gid_t kGid = 65534;

    // Why the tests cannot run a program as the other user; empty when they can.
    static std::string unavailable(const std::string& program) {
        if (::geteuid() != 0)
            return "only root can run a program as another user";
        if (::access(kSetpriv, X_OK) != 0)
            return "setpriv is not installed";
        // The build may sit where that user cannot reach it.
        const std::string probe = std::string(kSetpriv) + " --reuid=" + std::to_string(kUid) +
                                  " --regid=" + std::to_string(kGid) + " --clear-groups -- '" +
                                  program + "' --version >/dev/null 2>&1";
        const int status = std::system(probe.c_str());
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            return "the other user cannot run " + program;
        return "";
    }

    // The command line that runs argv as the other user, with the same environment.
    static std::vector<std::string> run(const std::vector<std::string>& argv) {
        std::vector<std::string> out = {kSetpriv, "--reuid=" + std::to_string(kUid),
                                        "--regid=" + std::to_string(kGid), "--clear-groups", "--"};
        out.insert(out.end(), argv.begin(), argv.end());
        return out;
    }

    // Gives the folder and everything in it (links themselves, not their targets) to the user.
    static void own(const std::filesystem::path& folder) {
        ::lchown(folder.c_str(), kUid, kGid);
        for (const auto& e : std::filesystem::recursive_directory_iterator(folder))
            ::lchown(e.path().c_str(), kUid, kGid);
    }

private:
    static constexpr const char* kSetpriv = "/usr/bin/setpriv";
};

} // namespace vellumkite::testing
