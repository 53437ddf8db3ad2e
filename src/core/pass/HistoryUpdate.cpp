#include "HistoryUpdate.hpp"

#include "History.hpp"
#include "UsageStore.hpp"

#include <algorithm>

namespace vellumkite {

namespace {

// A slice that cannot be written (the other program holding the database) is tried again; a
// database that keeps refusing is given up on.
constexpr int kMaxFailures = 20;

} // namespace

bool HistoryUpdate::run(History& history, const std::vector<std::filesystem::path>& folders,
                        const OnProgress& onProgress, std::uint64_t slice) {
    // A store with no window keeps nothing itself: every line goes to the history alone.
    UsageStore store(folders, 0);
    store.setHistory(&history, slice);
    Progress done;
    int failures = 0;
    const auto failedAgain = [&] { return history.damaged() || ++failures > kMaxFailures; };
    for (;;) {
        store.refresh();
        const auto pass = store.lastPass();
        const auto left = store.historyBacklog();
        // Each slice is written while the next one is read. One that could not be written
        // (the other program held the database) has its logs come round again.
        history.commitInBackground();
        if (history.lastCommitFailed() && failedAgain()) {
            (void)history.finishCommit();
            return false;
        }
        done.filesDone += pass.files;
        done.bytesDone += pass.bytes;
        done.filesTotal = done.filesDone + left.files;
        done.bytesTotal = std::max(done.bytesTotal, done.bytesDone + left.bytes);
        if (onProgress)
            onProgress(done);
        if (left.files == 0) {
            if (history.finishCommit())
                return true;
            if (failedAgain())
                return false;
        }
    }
}

} // namespace vellumkite
