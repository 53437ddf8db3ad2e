#include "History.hpp"

#include "HistoryDatabase.hpp"
#include "HistoryKeeper.hpp"
#include "HistoryQuery.hpp"
#include "HistoryReader.hpp"
#include "HistoryUpdate.hpp"
#include "LogLines.hpp"
#include "LogPass.hpp"
#include "PriceTable.hpp"
#include "TempDir.hpp"
#include "Timestamp.hpp"
#include "UsageStore.hpp"

#include <chrono>
#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace vellumkite;
using namespace vellumkite::testing;
namespace fs = std::filesystem;

namespace {

constexpr double kLookback = 691200;

std::string isoDaysAgo(Instant now, double days) {
    return Timestamp::format(addSeconds(now, -days * 86400));
}

// A reply as the assistant streams it: three lines, the output final only on the last.
std::string streamedReply(const std::string& id, const std::string& session,
                          const std::string& time, std::int64_t output,
                          const std::string& call = "") {
    Reply r;
    r.messageId = id;
    r.sessionId = session;
    r.timestamp = time;
    r.input = 100;
    r.cacheRead = 1000;
    r.cacheWrite = 50;
    std::string out;
    for (int line = 0; line < 3; ++line) {
        r.output = line < 2 ? 7 : output;
        r.tools =
            line == 2 && !call.empty() ? decltype(r.tools){{call, "Read"}} : decltype(r.tools){};
        out += replyLine(r) + "\n";
    }
    return out;
}

class HistoryTest : public ::testing::Test {
protected:
    TempDir dir;
    fs::path logs = dir / "logs";
    fs::path file = dir / "data/history.sqlite3";
    Instant now = systemNow();

    std::unique_ptr<History> open() {
        auto opened = HistoryDatabase::open(file);
        EXPECT_TRUE(opened.db) << opened.message;
        return std::make_unique<History>(std::move(*opened.db));
    }
    // The sums the reports read, checked against the replies they are kept from.
    static UsageTotals total(const History& history) {
        UsageTotals sum;
        const auto quarters =
            HistoryQuery(history.database()).quarters(kDistantPast, kDistantFuture);
        EXPECT_TRUE(quarters);
        for (const auto& q : quarters.value_or(std::vector<HistoryQuery::Quarter>{}))
            sum += q.usage;
        const auto& db = history.database();
        EXPECT_EQ(sum.output, db.queryInteger("SELECT total(output) FROM replies"));
        EXPECT_EQ(sum.input, db.queryInteger("SELECT total(input) FROM replies"));
        EXPECT_EQ(sum.cacheRead, db.queryInteger("SELECT total(cache_read) FROM replies"));
        EXPECT_EQ(sum.replies, db.queryInteger("SELECT count(*) FROM replies"));
        return sum;
    }
    static std::int64_t count(const History& history, const char* table) {
        return history.database()
            .queryInteger(std::string("SELECT count(*) FROM ") + table)
            .value_or(-1);
    }
};

} // namespace

TEST_F(HistoryTest, KeepsEveryAgeOutlivesTheLogsAndReadsOnlyWhatIsNew) {
    const std::vector<double> ages = {0.5, 20, 45, 400};
    for (std::size_t i = 0; i < ages.size(); ++i)
        writeFile(logs / ("p/old" + std::to_string(i) + ".jsonl"),
                  streamedReply("m" + std::to_string(i), "s" + std::to_string(i),
                                isoDaysAgo(now, ages[i]), 500, "c" + std::to_string(i)) +
                      resultLine("s" + std::to_string(i), isoDaysAgo(now, ages[i]),
                                 {{"c" + std::to_string(i), 4000}}) +
                      "\n");
    auto history = open();
    // Our own files: the folder 0700, the database 0600.
    EXPECT_EQ(fs::status(file.parent_path()).permissions() & fs::perms::all, fs::perms::owner_all);
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    ASSERT_TRUE(HistoryUpdate::run(*history, {logs}));
    UsageTotals u = total(*history);
    EXPECT_EQ(u.replies, 4);
    EXPECT_EQ(u.output, 4 * 500) << "each reply's final count, once";
    EXPECT_EQ(u.input, 4 * 100);
    EXPECT_EQ(count(*history, "results"), 4);
    EXPECT_EQ(history->database()
                  .queryInteger("SELECT count(*) FROM results WHERE category = 'File reads'")
                  .value_or(0),
              4);

    // The assistant's clean-up deletes the old logs: their history stays.
    fs::remove(logs / "p/old2.jsonl");
    fs::remove(logs / "p/old3.jsonl");
    // Another run (a restart) reads only what was appended.
    history = open();
    const std::string more = streamedReply("m9", "s0", isoDaysAgo(now, 0.1), 300);
    appendFile(logs / "p/old0.jsonl", more);
    std::uint64_t read = 0;
    ASSERT_TRUE(HistoryUpdate::run(*history, {logs}, [&](const auto& p) { read = p.bytesDone; }));
    EXPECT_EQ(read, more.size());
    u = total(*history);
    EXPECT_EQ(u.replies, 5);
    EXPECT_EQ(u.output, 4 * 500 + 300);

    // Truncated and written again, or replaced by another file: read from the start, and the
    // replies read before are not counted twice.
    writeFile(logs / "p/old0.jsonl", more);
    writeFile(dir / "new.jsonl", streamedReply("m1", "s1", isoDaysAgo(now, 20), 500) +
                                     streamedReply("m10", "s1", isoDaysAgo(now, 0.2), 20));
    fs::rename(dir / "new.jsonl", logs / "p/old1.jsonl");
    ASSERT_TRUE(HistoryUpdate::run(*history, {logs}));
    u = total(*history);
    EXPECT_EQ(u.replies, 6);
    EXPECT_EQ(u.output, 4 * 500 + 300 + 20);
}

TEST_F(HistoryTest, AKillAtAnyMomentLosesNothingAndTwoWritersAgree) {
    // Enough logs for many slices.
    std::mt19937 rng(5);
    for (int f = 0; f < 8; ++f) {
        std::string text;
        for (int i = 0; i < 300; ++i) {
            const std::string id = "m" + std::to_string(f) + "-" + std::to_string(i);
            text +=
                streamedReply(id, "s" + std::to_string(f), isoDaysAgo(now, (rng() % 9000) / 100.0),
                              1 + rng() % 900, "c" + id);
            text += resultLine("s" + std::to_string(f), isoDaysAgo(now, 0.01),
                               {{"c" + id, rng() % 3000}}) +
                    "\n";
        }
        writeFile(logs / ("p/f" + std::to_string(f) + ".jsonl"), text);
    }
    constexpr std::uint64_t kSlice = 64 << 10;
    const auto importInChild = [&] {
        const pid_t pid = ::fork();
        if (pid == 0) {
            auto opened = HistoryDatabase::open(file);
            if (!opened.db)
                ::_exit(3);
            History h(std::move(*opened.db));
            ::_exit(HistoryUpdate::run(h, {logs}, {}, kSlice) ? 0 : 1);
        }
        return pid;
    };

    // The reference: a clean import in this process, into a file of its own.
    const fs::path clean = dir / "clean.sqlite3";
    auto reference = HistoryDatabase::open(clean);
    History expected(std::move(*reference.db));
    const auto t0 = std::chrono::steady_clock::now();
    ASSERT_TRUE(HistoryUpdate::run(expected, {logs}, {}, kSlice));
    const auto cleanTime = std::chrono::steady_clock::now() - t0;

    for (int kill = 0; kill < 6; ++kill) {
        const pid_t pid = importInChild();
        ASSERT_GT(pid, 0);
        std::this_thread::sleep_for(cleanTime * (rng() % 100) / 100);
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
    }
    // Two programs finishing the import at once.
    const pid_t a = importInChild(), b = importInChild();
    int statusA = 0, statusB = 0;
    ::waitpid(a, &statusA, 0);
    ::waitpid(b, &statusB, 0);
    EXPECT_TRUE(WIFEXITED(statusA) && WEXITSTATUS(statusA) == 0);
    EXPECT_TRUE(WIFEXITED(statusB) && WEXITSTATUS(statusB) == 0);

    auto history = open();
    EXPECT_EQ(total(*history), total(expected));
    EXPECT_EQ(count(*history, "results"), count(expected, "results"));
    EXPECT_EQ(history->database().queryInteger("SELECT total(tokens) FROM results"),
              expected.database().queryInteger("SELECT total(tokens) FROM results"));
    const HistoryQuery q(history->database()), e(expected.database());
    EXPECT_EQ(q.quarters(kDistantPast, kDistantFuture)->size(),
              e.quarters(kDistantPast, kDistantFuture)->size());
}

TEST_F(HistoryTest, ADamagedDatabaseIsSetAsideAndANewerOneLeftAlone) {
    writeFile(file, std::string(8192, 'x'));
    auto opened = HistoryDatabase::open(file);
    EXPECT_EQ(opened.status, HistoryDatabase::Status::rebuilt);
    ASSERT_TRUE(opened.db);
    EXPECT_NE(opened.message.find("set aside as history.sqlite3.corrupt-"), std::string::npos)
        << opened.message;
    int aside = 0;
    for (const auto& e : fs::directory_iterator(file.parent_path()))
        aside += e.path().filename().string().starts_with("history.sqlite3.corrupt-");
    EXPECT_EQ(aside, 1);
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);

    // Written by a version that knows more: never changed.
    ASSERT_TRUE(opened.db->exec("PRAGMA user_version = 99"));
    opened.db.reset();
    const auto before = fs::last_write_time(file);
    const auto size = fs::file_size(file);
    const auto newer = HistoryDatabase::open(file, true);
    EXPECT_EQ(newer.status, HistoryDatabase::Status::newer);
    EXPECT_FALSE(newer.db);
    EXPECT_NE(newer.message.find("newer version"), std::string::npos);
    EXPECT_EQ(fs::last_write_time(file), before);
    EXPECT_EQ(fs::file_size(file), size);
}

TEST_F(HistoryTest, OneLogPassFeedsTheStoreAndTheHistoryAndImportsOlderLogsAfterItsFirstPass) {
    writeFile(logs / "p/new.jsonl", streamedReply("new", "s1", isoDaysAgo(now, 1), 40));
    writeFile(logs / "p/old.jsonl", streamedReply("old", "s2", isoDaysAgo(now, 30), 60));
    // Older logs carry their old modification times, as they would.
    fs::last_write_time(logs / "p/old.jsonl",
                        fs::file_time_type::clock::now() - std::chrono::hours(24 * 30));
    auto history = open();
    LogPass logPass({logs});
    UsageStore store(kLookback);
    HistoryReader reader(*history, 1 << 20, kLookback);
    LogPass::Stats read;
    const auto pass = [&] {
        read = logPass.run({&reader, &store.reader()});
        EXPECT_TRUE(history->commit());
        return store.tookLastPass();
    };
    ASSERT_TRUE(pass());
    EXPECT_EQ(store.turns().size(), 1u);
    EXPECT_EQ(total(*history).replies, 1) << "the first pass reads the window only";
    EXPECT_EQ(reader.backlog().files, 1u);
    pass();
    EXPECT_EQ(total(*history).replies, 2);
    EXPECT_EQ(reader.backlog().files, 0u);
    EXPECT_EQ(store.turns().size(), 1u) << "older replies stay out of the live figures";

    // The last line of a reply arrives later: both see the final count.
    appendFile(logs / "p/new.jsonl", streamedReply("new", "s1", isoDaysAgo(now, 1), 900));
    pass();
    EXPECT_EQ(store.turns().at("new:req_1").output, 900);
    EXPECT_EQ(total(*history).output, 900 + 60);
    EXPECT_EQ(read.files, 1u) << "read once for both";
}

TEST_F(HistoryTest, TheKeeperImportsBehindTheLiveFiguresAndRebuildsADamagedDatabase) {
    const auto old = fs::file_time_type::clock::now() - std::chrono::hours(24 * 40);
    for (int i = 0; i < 3; ++i) {
        const auto log = logs / ("p/old" + std::to_string(i) + ".jsonl");
        writeFile(log, streamedReply("old" + std::to_string(i), "s", isoDaysAgo(now, 40), 10));
        fs::last_write_time(log, old);
    }
    // Now, so that it is today also just after midnight.
    writeFile(logs / "p/new.jsonl", streamedReply("new", "s", isoDaysAgo(now, 0), 10));
    std::vector<std::string> said;
    const auto say = [&](const std::string& line) { said.push_back(line); };
    HistoryKeeper keeper(file, dir / "limit-readings.jsonl", kLookback, say);
    LogPass logPass({logs});
    UsageStore store(kLookback);
    const auto pass = [&](HistoryKeeper& k) {
        logPass.run({k.reader(), &store.reader()});
        k.afterPass();
    };
    keeper.open();
    EXPECT_TRUE(keeper.status().available);
    pass(keeper);
    EXPECT_EQ(keeper.status().import, 0.0) << "older logs wait for the second pass";
    pass(keeper);
    EXPECT_FALSE(keeper.status().import) << "all read";
    const auto o = keeper.overview(now, std::nullopt, defaultTimeOfDay(), PriceTable::builtIn());
    ASSERT_TRUE(o);
    EXPECT_EQ(o->days.back().usage.replies, 1);

    // A damaged file found at the next start is set aside, and the history begins again from
    // the logs.
    {
        std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(0);
        f << std::string(4096, 'z');
    }
    for (const char* suffix : {"-wal", "-shm"})
        fs::remove(file.string() + suffix);
    HistoryKeeper again(file, dir / "limit-readings.jsonl", kLookback, say);
    again.open();
    for (int i = 0; i < 2; ++i)
        pass(again);
    ASSERT_EQ(said.size(), 1u);
    EXPECT_NE(said[0].find("set aside"), std::string::npos) << said[0];
    EXPECT_TRUE(again.status().available);
    EXPECT_EQ(total(*open()).replies, 4) << "everything again, from the logs";
}

TEST_F(HistoryTest, ASliceThatCannotBeWrittenIsReadAgainAndNeverLeftOut) {
    // One log a slice; the write of the last slice but one meets the database held by another
    // program, so that the failure is found only once nothing seems left to read.
    const auto old = fs::file_time_type::clock::now() - std::chrono::hours(24 * 40);
    for (int i = 0; i < 6; ++i) {
        const auto log = logs / ("p/old" + std::to_string(i) + ".jsonl");
        writeFile(log, streamedReply("m" + std::to_string(i), "s", isoDaysAgo(now, 40), 10 + i));
        fs::last_write_time(log, old);
    }
    auto history = open();
    auto other = SqliteDatabase::open(file, SqliteDatabase::Mode::readWrite);
    ASSERT_TRUE(other);
    other->setBusyTimeout(10000);
    int slices = 0;
    bool held = false;
    const bool updated = HistoryUpdate::run(
        *history, {logs},
        [&](const HistoryUpdate::Progress&) {
            ++slices;
            if (slices == 4) {
                // Waits for the fourth slice's write, then holds the database...
                held = other->exec("BEGIN IMMEDIATE");
            } else if (slices == 5 && held) {
                // ...until the fifth slice's write has given up on it.
                std::this_thread::sleep_for(
                    std::chrono::milliseconds(4 * HistoryDatabase::kBusyMilliseconds));
                EXPECT_TRUE(other->exec("ROLLBACK"));
            }
        },
        1);
    ASSERT_TRUE(held);
    ASSERT_TRUE(updated);
    const auto u = total(*history);
    EXPECT_EQ(u.replies, 6) << "every slice in, the one that failed included";
    EXPECT_EQ(u.output, 10 + 11 + 12 + 13 + 14 + 15);
}

TEST_F(HistoryTest, TheKeeperTriesABusyDatabaseAgainAndSaysSoOnlyWhenItLasts) {
    writeFile(logs / "p/new.jsonl", streamedReply("new", "s", isoDaysAgo(now, 0.1), 10));
    open().reset(); // the file exists, as another program left it
    auto other = SqliteDatabase::open(file, SqliteDatabase::Mode::readWrite);
    ASSERT_TRUE(other);
    ASSERT_TRUE(other->exec("BEGIN IMMEDIATE"));

    Instant clock = now;
    HistoryKeeper keeper(file, dir / "limit-readings.jsonl", kLookback, {}, [&] { return clock; });
    LogPass logPass({logs});
    UsageStore store(kLookback, [&] { return clock; });
    const auto pass = [&] {
        LogPass::Reader* history = keeper.reader();
        if (history) {
            logPass.run({history, &store.reader()});
            keeper.afterPass();
        } else {
            logPass.run({&store.reader()});
        }
        return history != nullptr;
    };
    keeper.open();
    EXPECT_FALSE(keeper.status().available);
    EXPECT_EQ(keeper.status().message, "") << "a busy moment is not worth a word";
    EXPECT_FALSE(pass());
    EXPECT_EQ(store.turns().size(), 1u) << "the live figures go on without it";

    // Still held minutes later: now it says so, and keeps trying.
    clock = addSeconds(clock, HistoryKeeper::kPatienceSeconds + 1);
    EXPECT_FALSE(pass());
    EXPECT_NE(keeper.status().message.find("History is off"), std::string::npos);
    EXPECT_NE(keeper.status().message.find("trying again"), std::string::npos);

    // Released: the next try opens it, and the history catches up.
    ASSERT_TRUE(other->exec("ROLLBACK"));
    clock = addSeconds(clock, HistoryKeeper::kRetrySeconds);
    EXPECT_TRUE(pass());
    EXPECT_TRUE(keeper.status().available);
    EXPECT_EQ(keeper.status().message, "");
    EXPECT_EQ(total(*open()).replies, 1);
}

TEST_F(HistoryTest, TheKeeperSaysAtOnceThatAHistoryItCannotWriteIsOffAndLeavesIt) {
    open().reset();
    fs::permissions(file, fs::perms::owner_read);
    const auto before = fs::last_write_time(file);
    HistoryKeeper keeper(file, dir / "limit-readings.jsonl", kLookback, {});
    keeper.open();
    EXPECT_FALSE(keeper.status().available);
    EXPECT_NE(keeper.status().message.find("History is off"), std::string::npos);
    EXPECT_NE(keeper.status().message.find("read-only"), std::string::npos)
        << keeper.status().message;
    EXPECT_EQ(keeper.reader(), nullptr);
    EXPECT_TRUE(fs::exists(file)) << "never set aside";
    EXPECT_EQ(fs::last_write_time(file), before);
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
}
