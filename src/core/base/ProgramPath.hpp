#pragma once

#include <filesystem>

namespace vellumkite {

// Where this program's own executable is, for the files installed beside it.
struct ProgramPath {
    // The executable's path with symlinks resolved; empty where the system cannot tell.
    static std::filesystem::path self();
};

} // namespace vellumkite
