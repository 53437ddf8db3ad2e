#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vellumkite {

// Who this machine is among those that share a sync folder: a random UUID made once, and a name
// for people, kept together in the app's data folder (machine.json), so that two homes are two
// machines even on one computer.
struct MachineIdentity {
    std::string id;   // lowercase, as 8-4-4-4-12 hex digits
    std::string name; // the host name unless the user gave one

    static constexpr std::size_t kMaxName = 64;

    // <app data>/machine.json.
    static std::filesystem::path defaultFile();

    // The identity kept in the file; nothing when there is none yet, or it cannot be read.
    static std::optional<MachineIdentity> read(const std::filesystem::path& file);
    // The identity kept in the file, made (with a new id and the host name) and saved when
    // there is none. Nothing when the file holds no identity and none can be saved; `problem`
    // then says why.
    static std::optional<MachineIdentity> load(const std::filesystem::path& file,
                                               std::string* problem = nullptr);
    // Saves it (0600, atomically). False, with errno set, when it could not.
    [[nodiscard]] bool save(const std::filesystem::path& file) const;

    static std::string newId();
    static bool validId(std::string_view id);
    // The host name, or "this machine" without one.
    static std::string hostName();
    // A name as given, with control characters and surrounding spaces taken out and cut to
    // kMaxName bytes of whole characters; empty when nothing is left.
    static std::string cleanName(std::string_view name);
};

} // namespace vellumkite
