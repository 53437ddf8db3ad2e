#include "HistoryUpdate.hpp"

#include "History.hpp"
#include "HistoryReader.hpp"
#include "LogPass.hpp"

#include <algorithm>

namespace vellumkite {

namespace {

// A slice that cannot be written (the other program holding the database) is tried again; a
// database that keeps refusing is given up on.
constexpr int kMaxFailures = 20;

} // namespace

bool HistoryUpdate::run(History& history, const std::vector<std::filesystem::path>& folders,
                        const OnProgress& onProgress, std::uint64_t slice) {
    // No live figures here: every log is read for the history alone, a slice a pass.
    LogPass pass(folders);
    HistoryReader reader(history, slice, 0);
    Progress done;
    int failures = 0;
    const auto failedAgain = [&] { return history.damaged() || ++failures > kMaxFailures; };
    for (;;) {
        const auto read = pass.run({&reader});
        const auto left = reader.backlog();
        // Each slice is written while the next one is read. When one could not be written, its
        // lines and those read on from them are dropped, and only a listing made after that
        // knows what is still to read: the update is done when such a listing finds nothing.
        history.commitInBackground();
        const bool failed = history.lastCommitFailed();
        if (failed && failedAgain()) {
            (void)history.finishCommit();
            return false;
        }
        done.filesDone += read.files;
        done.bytesDone += read.bytes;
        done.filesTotal = done.filesDone + left.files;
        done.bytesTotal = std::max(done.bytesTotal, done.bytesDone + left.bytes);
        if (onProgress)
            onProgress(done);
        if (left.files == 0 && !failed) {
            if (history.finishCommit())
                return true;
            if (failedAgain())
                return false;
        }
    }
}

} // namespace vellumkite
