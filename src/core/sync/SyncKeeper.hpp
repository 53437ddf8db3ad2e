#pragma once

#include "MachineIdentity.hpp"
#include "SqliteDatabase.hpp"
#include "SyncMachines.hpp"
#include "Time.hpp"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vellumkite {

// The app's side of sync, run on the store's thread after each pass: the folder is looked at
// at most once a minute and the other machines' changed files taken in, one a pass; this
// machine's file is published after a pass that read something new, at most every ten
// minutes, and at quit.
class SyncKeeper {
public:
    static constexpr double kPublishSeconds = 600;
    static constexpr double kLookSeconds = 60;

    // `say` takes each line a user should see, once.
    using Say = std::function<void(const std::string&)>;
    SyncKeeper(std::filesystem::path identityFile, Say say, Clock clock = systemClock());

    // What the popover shows.
    struct Status {
        std::filesystem::path folder; // empty: off
        std::string problem;          // why the folder could not be used, or a file not read
        std::vector<SyncMachine> machines;
        bool operator==(const Status&) const = default;
    };

    // After a pass: the folder as the preferences name it now (empty: off); `fresh`: the pass
    // read something new. True when another machine's file brought something new.
    bool afterPass(const SqliteDatabase& db, const std::filesystem::path& folder, bool fresh);
    // At quit: this machine's file, if it has anything new.
    void finish(const SqliteDatabase& db, const std::filesystem::path& folder);

    const Status& status() const { return status_; }

private:
    void publish(const SqliteDatabase& db, const std::filesystem::path& folder, Instant now);
    void note(const std::string& line);
    void list(const SqliteDatabase& db);

    std::filesystem::path identityFile_;
    Say say_;
    Clock clock_;
    Status status_;
    std::optional<MachineIdentity> me_;
    bool dirty_ = true; // something may be new since this machine's file was last published
    std::optional<Instant> published_, looked_;
    bool moreToTake_ = false;
    std::vector<std::string> said_;
};

} // namespace vellumkite
