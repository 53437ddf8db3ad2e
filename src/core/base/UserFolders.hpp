#pragma once

#include "Environment.hpp"

#include <filesystem>

namespace vellumkite {

// The user's folders, as the environment names them. Each call reads the environment it is
// given (by default the process's, read now), so tests can point HOME and the XDG folders
// elsewhere. An empty path means nobody knows the folder.
struct UserFolders {
    // HOME when it is an absolute path, else the account's entry; a relative or empty HOME
    // would put our files wherever the program happened to start.
    static std::filesystem::path home(const Environment& env = Environment::process());

    // $XDG_CONFIG_HOME when absolute, else ~/.config.
    static std::filesystem::path configHome(const Environment& env = Environment::process());

    // $XDG_DATA_HOME when absolute, else ~/.local/share.
    static std::filesystem::path dataHome(const Environment& env = Environment::process());

    // Where Vellumkite keeps what it writes for itself (the limits file, the history). macOS:
    // ~/Library/Application Support/Vellumkite; elsewhere <dataHome>/Vellumkite.
    static std::filesystem::path appData(const Environment& env = Environment::process());
};

} // namespace vellumkite
