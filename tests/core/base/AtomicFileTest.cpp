#include "AtomicFile.hpp"

#include "FileTime.hpp"
#include "TempDir.hpp"

#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace vellumkite;
using namespace vellumkite::testing;

namespace {

std::string readAll(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

struct stat statOf(const std::filesystem::path& p) {
    struct stat st {};
    EXPECT_EQ(::lstat(p.c_str(), &st), 0) << p;
    return st;
}

std::size_t entries(const std::filesystem::path& folder) {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(folder))
        ++n;
    return n;
}

TEST(AtomicFileTest, ReplaceMakesPrivateFoldersAndFileAndNeverFollowsALink) {
    TempDir dir;
    const auto file = dir / "a" / "b" / "limits.json";
    const mode_t old = ::umask(0);
    ASSERT_TRUE(AtomicFile::replace(file, "one"));
    ::umask(old);
    EXPECT_EQ(readAll(file), "one");
    EXPECT_EQ(statOf(file).st_mode & 07777, 0600u);
    EXPECT_EQ(statOf(dir / "a").st_mode & 07777, 0700u);
    EXPECT_EQ(statOf(dir / "a" / "b").st_mode & 07777, 0700u);

    // A link planted in its place is replaced; what it points to stays as it was.
    writeFile(dir / "victim", "keep");
    std::filesystem::remove(file);
    std::filesystem::create_symlink(dir / "victim", file);
    ASSERT_TRUE(AtomicFile::replace(file, "two"));
    EXPECT_TRUE(S_ISREG(statOf(file).st_mode));
    EXPECT_EQ(readAll(file), "two");
    EXPECT_EQ(readAll(dir / "victim"), "keep");
    EXPECT_EQ(entries(dir / "a" / "b"), 1u); // no temporary file left behind
}

TEST(AtomicFileTest, FailuresLeaveNothingBehindAndSayWhy) {
    TempDir dir;
    std::filesystem::create_directories(dir / "folder");
    errno = 0;
    EXPECT_FALSE(AtomicFile::replace(dir / "folder", "x"));
    EXPECT_EQ(errno, EISDIR);
    EXPECT_TRUE(std::filesystem::is_directory(dir / "folder"));

    writeFile(dir / "plain", "x");
    errno = 0;
    EXPECT_FALSE(AtomicFile::replace(dir / "plain" / "inside.json", "x"));
    EXPECT_EQ(errno, ENOTDIR);
    EXPECT_FALSE(AtomicFile::makeFolders(dir / "plain"));
    EXPECT_EQ(entries(dir.path()), 2u);

    std::filesystem::create_directories(dir / "locked");
    std::filesystem::permissions(dir / "locked", std::filesystem::perms::owner_read |
                                                     std::filesystem::perms::owner_exec);
    // Root may write there anyway; then there is nothing to check.
    if (::access((dir / "locked").c_str(), W_OK) != 0) {
        errno = 0;
        EXPECT_FALSE(AtomicFile::replace(dir / "locked" / "f", "x"));
        EXPECT_EQ(errno, EACCES);
    }
}

TEST(AtomicFileTest, ARelativeNameIsWrittenInTheCurrentFolder) {
    TempDir dir;
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    const bool written = AtomicFile::replace("here.json", "x");
    std::filesystem::current_path(previous);
    ASSERT_TRUE(written);
    EXPECT_EQ(readAll(dir / "here.json"), "x");
}

TEST(AtomicFileTest, UpdateOnlyTouchesAFileOfOursThatHoldsTheSameBytes) {
    TempDir dir;
    const auto file = dir / "f";
    ASSERT_TRUE(AtomicFile::replace(file, "same"));
    const ino_t inode = statOf(file).st_ino;
    const timespec past{1000000000, 0};
    const timespec times[2] = {past, past};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);

    ASSERT_TRUE(AtomicFile::update(file, "same"));
    EXPECT_EQ(statOf(file).st_ino, inode);
    EXPECT_GT(modificationTime(statOf(file)), Instant{std::chrono::seconds(past.tv_sec)});

    ASSERT_TRUE(AtomicFile::update(file, "other"));
    EXPECT_NE(statOf(file).st_ino, inode);
    EXPECT_EQ(readAll(file), "other");

    // Same bytes, but readable by others: replaced, so the mode comes right again.
    ASSERT_EQ(::chmod(file.c_str(), 0644), 0);
    const ino_t before = statOf(file).st_ino;
    ASSERT_TRUE(AtomicFile::update(file, "other"));
    EXPECT_NE(statOf(file).st_ino, before);
    EXPECT_EQ(statOf(file).st_mode & 07777, 0600u);
}

} // namespace
