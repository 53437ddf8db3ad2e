#include "HistoryUpdate.hpp"

#include "History.hpp"
#include "UsageStore.hpp"

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
    for (int failures = 0;;) {
        store.refresh();
        if (history.lastCommitFailed()) {
            if (history.damaged() || ++failures > kMaxFailures)
                return false;
            continue;
        }
        const auto pass = store.lastPass();
        const auto left = store.historyBacklog();
        done.filesDone += pass.files;
        done.bytesDone += pass.bytes;
        done.filesTotal = done.filesDone + left.files;
        done.bytesTotal = done.bytesDone + left.bytes;
        if (onProgress)
            onProgress(done);
        if (left.files == 0)
            return true;
    }
}

} // namespace vellumkite
