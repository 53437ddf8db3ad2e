#include "LogDirectory.hpp"

#include "TempDir.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

using namespace vellumkite;
using namespace vellumkite::testing;
namespace fs = std::filesystem;

namespace {

LogDirectory::Listing plainWalk(const fs::path& root) {
    LogDirectory plain(root, false);
    return plain.list();
}

} // namespace

TEST(LogDirectoryTest, ListsRegularLogsAndTheirSizes) {
    TempDir dir;
    appendFile(dir / "a/one.jsonl", "12345\n");
    appendFile(dir / "a/b/.hidden/two.jsonl", "1\n");
    appendFile(dir / "a/notes.txt", "x");
    appendFile(dir / "a/CAPS.JSONL", "x");
    ASSERT_EQ(::mkfifo((dir / "a/fifo.jsonl").c_str(), 0600), 0);
    fs::create_directory_symlink(dir / "a", dir / "a/b/loop");
    LogDirectory logs(dir.path());
    const auto& listed = logs.list();
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed.at((dir / "a/one.jsonl").string()).size, 6u);
    EXPECT_TRUE(listed.contains((dir / "a/b/.hidden/two.jsonl").string()));
}

TEST(LogDirectoryTest, ReportedChangesMatchAFullWalkAfterEveryChange) {
    // Whatever happens in the tree, the listing kept up to date from change reports must equal
    // a fresh walk, size and time included.
    TempDir dir;
    TempDir outside;
    appendFile(outside / "target.jsonl", "t\n");
    LogDirectory logs(dir.path());
    logs.list();
    EXPECT_EQ(logs.watching(), LogDirectory::canWatch());
    std::mt19937 rng(3);
    std::vector<fs::path> files;
    int made = 0;
    for (int step = 0; step < 300; ++step) {
        const int op = static_cast<int>(rng() % 9);
        const fs::path folder = dir / ("p" + std::to_string(rng() % 4)) / (rng() % 2 ? "sub" : "");
        if (op <= 2 || files.empty()) { // a new log
            files.push_back(folder / ("f" + std::to_string(++made) + ".jsonl"));
            appendFile(files.back(), "line\n");
        } else if (op == 3) { // appended to
            appendFile(files[rng() % files.size()], std::string(rng() % 100, 'x') + "\n");
        } else if (op == 4) { // truncated
            fs::resize_file(files[rng() % files.size()], rng() % 3);
        } else if (op == 5) { // deleted
            const auto i = rng() % files.size();
            fs::remove(files[i]);
            files.erase(files.begin() + static_cast<std::ptrdiff_t>(i));
        } else if (op == 6) { // a folder renamed
            const fs::path from = dir / ("p" + std::to_string(rng() % 4));
            const fs::path to =
                dir / ("p" + std::to_string(rng() % 4) + "-moved" + std::to_string(step));
            if (fs::exists(from)) {
                fs::rename(from, to);
                for (auto& f : files)
                    if (f.string().rfind(from.string() + "/", 0) == 0)
                        f = to / f.string().substr(from.string().size() + 1);
            }
        } else if (op == 7) { // a symlink to a log elsewhere, whose target then grows
            const fs::path link = folder / ("link" + std::to_string(step) + ".jsonl");
            fs::create_directories(folder);
            fs::create_symlink(outside / "target.jsonl", link);
            appendFile(outside / "target.jsonl", "more\n");
        } else { // touched: only the time changes
            const fs::path f = files[rng() % files.size()];
            const timespec times[2] = {{1700000000 + step, 0}, {1700000000 + step, 0}};
            ::utimensat(AT_FDCWD, f.c_str(), times, 0);
        }
        ASSERT_EQ(logs.list(), plainWalk(dir.path())) << "after step " << step << " op " << op;
    }
}

TEST(LogDirectoryTest, ARootThatAppearsLaterIsFound) {
    TempDir dir;
    LogDirectory logs(dir / "projects");
    EXPECT_TRUE(logs.list().empty());
    appendFile(dir / "projects/x/chat.jsonl", "a\n");
    // Until the root exists there is nothing to watch: every call walks.
    EXPECT_EQ(logs.list().size(), 1u);
    appendFile(dir / "projects/x/chat.jsonl", "b\n");
    EXPECT_EQ(logs.list().begin()->second.size, 4u);
}
