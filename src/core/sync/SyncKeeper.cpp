#include "SyncKeeper.hpp"

#include "SyncFolder.hpp"
#include "SyncPublish.hpp"
#include "SyncTakeIn.hpp"

#include <algorithm>

namespace vellumkite {

SyncKeeper::SyncKeeper(std::filesystem::path identityFile, Say say, Clock clock)
    : identityFile_(std::move(identityFile)), say_(std::move(say)), clock_(std::move(clock)) {}

void SyncKeeper::note(const std::string& line) {
    status_.problem = line;
    if (line.empty() || std::find(said_.begin(), said_.end(), line) != said_.end())
        return;
    said_.push_back(line);
    if (say_)
        say_(line);
}

void SyncKeeper::list(const SqliteDatabase& db) {
    if (me_)
        status_.machines = SyncMachines::list(db, *me_).value_or(status_.machines);
}

bool SyncKeeper::afterPass(const SqliteDatabase& db, const std::filesystem::path& folder,
                           bool fresh) {
    dirty_ = dirty_ || fresh;
    if (folder != status_.folder) {
        // Turned on, off or moved: looked at and published at once.
        status_ = {folder, "", {}};
        looked_.reset();
        published_.reset();
        said_.clear();
        dirty_ = true;
    }
    if (folder.empty())
        return false;
    const Instant now = clock_();
    // The name may have been changed by the terminal tool meanwhile.
    std::string problem;
    if (!me_ || !looked_)
        me_ = MachineIdentity::load(identityFile_, &problem);
    if (!me_) {
        note("sync: " + problem);
        return false;
    }
    bool taken = false;
    if (moreToTake_ || !looked_ || !(secondsBetween(*looked_, now) < kLookSeconds)) {
        looked_ = now;
        const auto in = SyncTakeIn::run(db, folder, me_->id, now, 1);
        moreToTake_ = in.more;
        taken = in.taken > 0;
        for (const auto& line : in.lines)
            note(line);
        if (in.lines.empty() && !in.busy)
            status_.problem.clear();
        list(db);
    }
    if (dirty_ && (!published_ || !(secondsBetween(*published_, now) < kPublishSeconds)))
        publish(db, folder, now);
    return taken;
}

void SyncKeeper::publish(const SqliteDatabase& db, const std::filesystem::path& folder,
                         Instant now) {
    if (auto again = MachineIdentity::read(identityFile_))
        me_ = std::move(again);
    published_ = now;
    const auto out = SyncPublish::run(db, *me_, folder, now);
    if (out.status == SyncPublish::Status::failed) {
        note(out.message);
        return;
    }
    dirty_ = false;
    if (out.status == SyncPublish::Status::published)
        list(db);
}

void SyncKeeper::finish(const SqliteDatabase& db, const std::filesystem::path& folder) {
    if (folder.empty() || !dirty_ || !me_ || folder != status_.folder)
        return;
    publish(db, folder, clock_());
}

} // namespace vellumkite
