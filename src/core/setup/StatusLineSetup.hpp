#pragma once

#include "Environment.hpp"
#include "Time.hpp"

#include <filesystem>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace vellumkite {

// Turns the assistant's status line over to vellumkite-statusline, so that the limit readings
// arrive, and back. A status line already set is kept and chained after "--". The change is
// planned first, so that it can be shown and confirmed, then applied: a backup beside the
// settings file, then an atomic replace with the file's mode kept. A file that is not valid JSON,
// is read-only, belongs to someone else or is reached through someone else's link or folder is
// never touched; a symlink of the user's is kept and its target written.
class StatusLineSetup {
public:
    struct Files {
        std::filesystem::path settings; // as the user knows it: may be a symlink
        std::filesystem::path record;   // what was there before, for undo (SetupRecord)
        static Files defaults(const Environment& env = Environment::process());
    };

    enum class Kind { change, nothingToDo, refused };

    struct Plan {
        Kind kind = Kind::refused;
        // refused: why; nothingToDo: what is already so.
        std::string message;
        bool turningOn = true;
        std::filesystem::path settings, target; // target: the file written, a symlink's target
        std::filesystem::path record;
        bool exists = false;
        std::optional<std::string> before, after; // the statusLine value; nothing: no member
        std::string original, contents;           // the file's bytes now, and as they will be
        mode_t mode = 0600;

        // The change as shown before asking: the file, and the value before and after.
        std::string describe() const;
    };

    static Plan turnOn(const Files& files, const std::filesystem::path& program);
    static Plan turnOff(const Files& files);

    struct Outcome {
        bool ok = false;
        std::string message;          // why not, when not
        std::filesystem::path backup; // the copy of the file as it was; empty for a new file
    };
    // Writes nothing and says why when the file changed since the plan was made.
    static Outcome apply(const Plan& plan, const Clock& clock = systemClock());

    // The status-line program beside the running executable (an install's bin folder, or the
    // build's), else the first of `fallbacks` that can be run.
    static std::optional<std::filesystem::path>
    program(const std::vector<std::filesystem::path>& fallbacks = {});

    // A command's program word as the shell would find it (a path, ~/..., or a name on PATH),
    // when it names an executable file.
    static std::optional<std::filesystem::path> findProgram(const std::string& word);

    static constexpr std::size_t kMaxSettingsSize = 16 << 20;
};

} // namespace vellumkite
