// The history's file as it is found: what may be written, what is only read, and what is
// never touched, whoever runs the program.
#include "HistoryDatabase.hpp"

#include "History.hpp"
#include "HistoryUpdate.hpp"
#include "LogLines.hpp"
#include "TempDir.hpp"
#include "Timestamp.hpp"

#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace vellumkite;
using namespace vellumkite::testing;
namespace fs = std::filesystem;

namespace {

class HistoryDatabaseTest : public ::testing::Test {
protected:
    TempDir dir;
    fs::path logs = dir / "logs";
    fs::path file = dir / "data/history.sqlite3";

    std::unique_ptr<History> open() {
        auto opened = HistoryDatabase::open(file);
        EXPECT_TRUE(opened.db) << opened.message;
        return std::make_unique<History>(std::move(*opened.db));
    }
    // One reply of `output` tokens `daysAgo` days back, as its own log line.
    static std::string reply(const std::string& id, double daysAgo, std::int64_t output) {
        Reply r;
        r.messageId = id;
        r.requestId = "req_" + id;
        r.timestamp = Timestamp::format(addSeconds(systemNow(), -daysAgo * 86400));
        r.output = output;
        return replyLine(r) + "\n";
    }
    static std::int64_t output(const History& history) {
        return history.database().queryInteger("SELECT total(output) FROM replies").value_or(-1);
    }
};

} // namespace

TEST_F(HistoryDatabaseTest, WhatCannotBeWrittenIsLeftAsItIsAndNeverCalledDamaged) {
    writeFile(logs / "p/a.jsonl", reply("a", 2, 70));
    ASSERT_TRUE(HistoryUpdate::run(*open(), {logs}));
    const fs::path kept = dir / "kept.sqlite3";
    fs::copy_file(file, kept);
    const std::string keptBytes = readFile(kept);
    const auto reset = [&] {
        fs::remove_all(file.parent_path());
        fs::create_directories(file.parent_path());
        fs::permissions(file.parent_path(), fs::perms::owner_all);
    };
    struct Case {
        const char* name;
        std::function<void()> make;
        HistoryDatabase::Status status;
        const char* says;
    };
    std::vector<Case> cases = {
        {"link", [&] { fs::create_symlink(kept, file); }, HistoryDatabase::Status::unavailable,
         "is a symbolic link"},
        {"folder", [&] { fs::create_directory(file); }, HistoryDatabase::Status::unavailable,
         "is a folder"},
        {"fifo", [&] { ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0); },
         HistoryDatabase::Status::unavailable, "is not a regular file"},
        {"read-only",
         [&] {
             fs::copy_file(kept, file);
             fs::permissions(file, fs::perms::owner_read);
         },
         HistoryDatabase::Status::readOnly, "is read-only"},
    };
    if (::geteuid() == 0)
        cases.push_back({"another user's",
                         [&] {
                             fs::copy_file(kept, file);
                             ASSERT_EQ(::chown(file.c_str(), 65534, 65534), 0);
                         },
                         HistoryDatabase::Status::readOnly, "belongs to another user (uid 65534)"});
    else
        cases.push_back({"in a folder that cannot be written",
                         [&] {
                             fs::copy_file(kept, file);
                             fs::permissions(file.parent_path(),
                                             fs::perms::owner_read | fs::perms::owner_exec);
                         },
                         HistoryDatabase::Status::readOnly, "in a folder that cannot be written"});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        reset();
        c.make();
        struct stat before {};
        ASSERT_EQ(::lstat(file.c_str(), &before), 0);
        const auto opened = HistoryDatabase::open(file, true);
        EXPECT_EQ(opened.status, c.status);
        EXPECT_FALSE(opened.db);
        EXPECT_NE(opened.message.find(file.string() + " " + c.says), std::string::npos)
            << opened.message;
        EXPECT_EQ(opened.message.find("damaged"), std::string::npos) << opened.message;
        // Nothing renamed, nothing made beside it, nothing written to it or through it.
        EXPECT_EQ(folderEntries(file.parent_path()), std::vector<std::string>{"history.sqlite3"});
        struct stat after {};
        ASSERT_EQ(::lstat(file.c_str(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_EQ(after.st_mode, before.st_mode);
        EXPECT_EQ(after.st_uid, before.st_uid);
        EXPECT_EQ(after.st_size, before.st_size);
        EXPECT_EQ(readFile(kept), keptBytes);
        fs::permissions(file.parent_path(), fs::perms::owner_all);
        if (c.status != HistoryDatabase::Status::readOnly)
            continue;
        // Read into memory, it answers and takes in more without touching the file.
        auto copy = HistoryDatabase::openCopy(file);
        ASSERT_TRUE(copy.db) << copy.message;
        History history(std::move(*copy.db));
        appendFile(logs / "p/b.jsonl", reply("b", 1, 30));
        ASSERT_TRUE(HistoryUpdate::run(history, {logs}));
        EXPECT_EQ(output(history), 70 + 30);
        EXPECT_EQ(readFile(file), readFile(kept));
        fs::remove(logs / "p/b.jsonl");
    }
}

TEST_F(HistoryDatabaseTest, AFileOthersCanReadIsMadePrivateAndThatIsSaidOnce) {
    // Held open, so that its journal files are there too.
    const auto first = open();
    ASSERT_TRUE(first->commit());
    for (const char* suffix : {"", "-wal", "-shm"}) {
        ASSERT_TRUE(fs::exists(file.string() + suffix)) << suffix;
        fs::permissions(file.string() + suffix, fs::perms(0644));
    }
    auto opened = HistoryDatabase::open(file);
    EXPECT_EQ(opened.status, HistoryDatabase::Status::ready);
    ASSERT_TRUE(opened.db);
    EXPECT_EQ(opened.message, "history: " + file.string() +
                                  " could be read by others (mode 0644); it is now yours alone "
                                  "(0600)");
    for (const char* suffix : {"", "-wal", "-shm"})
        EXPECT_EQ(fileMode(file.string() + suffix), 0600u) << suffix;
    opened.db.reset();
    EXPECT_EQ(HistoryDatabase::open(file).message, "");
}
