#pragma once

#include <filesystem>

namespace vellumkite {

// The user's home folder: HOME when it is an absolute path, else the account's entry; empty
// when neither says. Read on every call, so tests can point HOME elsewhere.
struct UserHome {
    static std::filesystem::path path();
};

} // namespace vellumkite
