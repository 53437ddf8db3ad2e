#pragma once

#include "Time.hpp"

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace vellumkite {

// The chat logs under a root folder: every regular file named *.jsonl (or symlink to one), with
// its size and modification time. Directory symlinks are never followed, unreadable folders are
// passed over. Where the system can report changes (inotify), only files it reports are looked at
// again, so a pass over thousands of unchanged logs costs almost nothing; a full walk still runs
// now and then, and whenever the reports may be incomplete.
class LogDirectory {
public:
    struct Entry {
        std::uint64_t size = 0;
        Instant modified;
        bool viaLink = false; // a symlink: its target's changes are not reported here
        std::uint64_t device = 0, inode = 0; // which file this is
        // Changes whenever the file may have changed: on every report of a change, and when a
        // walk finds it with other figures. Equal stamps: nothing happened to it in between.
        // Unique across listings of this process, never 0.
        std::uint64_t stamp = 0;

        bool sameFile(const Entry& o) const {
            return size == o.size && modified == o.modified && device == o.device &&
                   inode == o.inode;
        }
        bool operator==(const Entry& o) const { return sameFile(o) && viaLink == o.viaLink; }
    };
    using Listing = std::map<std::string, Entry>; // by path, so in a reproducible order

    explicit LogDirectory(std::filesystem::path root, bool watch = true);
    ~LogDirectory();
    LogDirectory(const LogDirectory&) = delete;
    LogDirectory& operator=(const LogDirectory&) = delete;

    // The logs as they are now.
    const Listing& list();

    // Whether change reports are in use (for tests and the benchmark).
    bool watching() const { return notifyFd_ >= 0; }
    // Whether this build can use change reports at all. Without them, a log written again with
    // the same inode, size and time within one pass's interval looks unchanged.
    static bool canWatch();

    // A full walk runs at least every this many calls of list().
    static constexpr int kFullWalkEvery = 20;

private:
    enum class Reports { complete, needWalk, lost };

    void fullWalk(bool forgetStamps);
    void walk(const std::string& folder, Listing& into);
    void restat(const std::string& path);
    void stopWatching();
    Reports drainReports(std::unordered_set<std::string>& dirty);

    std::filesystem::path root_;
    Listing files_;
    int notifyFd_ = -1;
    std::unordered_map<int, std::string> watches_; // watch descriptor -> folder path
    int sinceFullWalk_ = kFullWalkEvery;
};

} // namespace vellumkite
