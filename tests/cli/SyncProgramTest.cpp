// vellumkite-cli sync and report over several homes that share one folder: the real binary, each
// home a machine of its own.
#include "HistoryDatabase.hpp"
#include "SqliteDatabase.hpp"
#include "SyncFolder.hpp"
#include "TestHome.hpp"

#include <gtest/gtest.h>
#include <simdjson.h>

using namespace vellumkite;
using namespace vellumkite::testing;
namespace fs = std::filesystem;

namespace {

std::string replyIn(const std::string& chat, const std::string& id, double minutesAgo,
                    std::int64_t input) {
    Reply r;
    r.messageId = id;
    r.requestId = "req_" + id;
    r.sessionId = chat;
    r.timestamp = isoAgo(minutesAgo * 60);
    r.model = "claude-sonnet-4-5";
    r.input = input;
    r.cacheRead = 2 * input;
    r.output = input / 10;
    return replyLine(r) + "\n";
}

// What `report daily --json` counts over all its days, or an empty one when it did not answer.
struct Counted {
    std::int64_t input = -1, output = -1, cacheRead = -1;
    double cost = -1;
    std::vector<std::string> machines;
    bool operator==(const Counted&) const = default;
};

Counted counted(const Exit& e) {
    Counted out;
    simdjson::dom::parser parser;
    simdjson::dom::element j;
    if (e.code != 0 || parser.parse(e.out).get(j) != simdjson::SUCCESS)
        return out;
    const auto totals = j["totals"];
    out.input = std::int64_t(totals["input"]);
    out.output = std::int64_t(totals["output"]);
    out.cacheRead = std::int64_t(totals["cacheRead"]);
    out.cost = double(totals["cost"]);
    for (const auto m : simdjson::dom::array(j["machines"]))
        out.machines.emplace_back(std::string_view(m["name"]));
    return out;
}

Counted report(TestHome& home, std::vector<std::string> extra = {}) {
    std::vector<std::string> argv{kCli, "report", "daily", "--json"};
    argv.insert(argv.end(), extra.begin(), extra.end());
    const Exit e = home.programs.run(argv);
    EXPECT_EQ(e.code, 0) << e.err;
    return counted(e);
}

// The machines' files in a folder, by machine id.
std::vector<fs::path> published(const fs::path& folder) {
    std::vector<fs::path> out;
    for (const auto& e : fs::directory_iterator(folder))
        if (SyncFolder::machineOf(e.path().filename().string()))
            out.push_back(e.path());
    return out;
}

} // namespace

TEST(SyncProgramTest, TwoHomesOnOneFolderCountEveryReplyOnceAndEachMachineAlone) {
    TestHome laptop, desktop, reference;
    const fs::path folder = laptop.dir / "Sync";
    fs::create_directories(folder);
    // A chat of each machine's own, and one that both have (a synced assistant folder).
    const std::string own = replyIn("l1", "a1", 90, 1000) + replyIn("l1", "a2", 80, 2000);
    const std::string theirs = replyIn("d1", "b1", 70, 30000);
    const std::string shared = replyIn("s1", "s1", 60, 400000) + replyIn("s1", "s2", 50, 500);
    writeFile(laptop.chatFile("l1"), own);
    writeFile(laptop.chatFile("s1"), shared);
    writeFile(desktop.chatFile("d1"), theirs);
    writeFile(desktop.chatFile("s1"), shared);
    writeFile(reference.chatFile("l1"), own);
    writeFile(reference.chatFile("d1"), theirs);
    writeFile(reference.chatFile("s1"), shared);
    const Counted all = report(reference);
    const std::int64_t laptopAlone = 1000 + 2000 + 400000 + 500;
    ASSERT_EQ(all.input, laptopAlone + 30000);

    for (auto [home, name] : {std::pair(&laptop, "laptop"), std::pair(&desktop, "desktop")}) {
        const Exit on = home->programs.run({kCli, "sync", folder.string(), "--name", name});
        ASSERT_EQ(on.code, 0) << on.err;
    }
    // Each report publishes first; the second one of the laptop finds the desktop's file.
    EXPECT_EQ(report(laptop).input, laptopAlone);
    Counted fromDesktop = report(desktop);
    Counted fromLaptop = report(laptop);
    for (const Counted* c : {&fromDesktop, &fromLaptop}) {
        EXPECT_EQ(c->input, all.input);
        EXPECT_EQ(c->output, all.output);
        EXPECT_EQ(c->cacheRead, all.cacheRead);
        EXPECT_DOUBLE_EQ(c->cost, all.cost);
    }
    EXPECT_EQ(fromLaptop.machines, (std::vector<std::string>{"laptop", "desktop"}));
    EXPECT_EQ(published(folder).size(), 2u);
    for (const auto& file : published(folder))
        EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
                  fs::perms::owner_read | fs::perms::owner_write);

    // One machine alone, by name: the desktop's own replies, the shared chat with them.
    const Counted desk = report(laptop, {"--machine", "desktop"});
    EXPECT_EQ(desk.input, 30000 + 400000 + 500);
    EXPECT_EQ(report(desktop, {"--machine", "laptop"}).input, laptopAlone);
    const Exit unknown = laptop.programs.run({kCli, "report", "daily", "--machine", "server"});
    EXPECT_EQ(unknown.code, 2);
    EXPECT_NE(unknown.err.find("server"), std::string::npos) << unknown.err;

    const Exit status = laptop.programs.run({kCli, "sync"});
    ASSERT_EQ(status.code, 0) << status.err;
    EXPECT_NE(status.out.find(folder.string()), std::string::npos) << status.out;
    EXPECT_NE(status.out.find("desktop"), std::string::npos) << status.out;

    // Copies a sync engine makes are left alone, however they look inside.
    const std::string stem = published(folder)[0].stem().string();
    fs::copy_file(published(folder)[0], folder / (stem + ".sync-conflict-20261207-1.sqlite3"));
    writeFile(folder / (stem + " (conflicted copy).sqlite3"), "torn");
    EXPECT_EQ(report(laptop).input, all.input);
    // The doctor names the machines and when they published, and the copies it leaves alone.
    const Exit doctor = laptop.programs.run({kCli, "doctor"});
    EXPECT_TRUE(has(doctor.out, "Sync            " + folder.string() +
                                    ": this machine published now; desktop now"))
        << doctor.out;
    EXPECT_TRUE(has(doctor.out, "left alone (not a machine's file): ")) << doctor.out;
    EXPECT_TRUE(has(doctor.out, stem + " (conflicted copy).sqlite3")) << doctor.out;

    // The folder gone: said once, and the report from what was taken in still answers.
    fs::rename(folder, laptop.dir / "Gone");
    const Exit missing = laptop.programs.run({kCli, "report", "daily", "--json"});
    ASSERT_EQ(missing.code, 0) << missing.err;
    EXPECT_NE(missing.err.find(folder.string()), std::string::npos) << missing.err;
    EXPECT_EQ(counted(missing).input, all.input);
    EXPECT_TRUE(
        has(laptop.programs.run({kCli, "doctor"}).out, "Sync            " + folder.string() + " "));
    fs::rename(laptop.dir / "Gone", folder);

    // Forgotten: the laptop's own usage again, the shared chat its own.
    const Exit forget = laptop.programs.run({kCli, "sync", "--forget", "desktop"});
    ASSERT_EQ(forget.code, 0) << forget.err;
    EXPECT_EQ(report(laptop).input, laptopAlone);
    const Exit off = laptop.programs.run({kCli, "sync", "--off"});
    ASSERT_EQ(off.code, 0) << off.err;
    EXPECT_EQ(report(laptop).machines, (std::vector<std::string>{"laptop"}));
}

TEST(SyncProgramTest, AKillWhilePublishingLeavesTheFileInTheFolderWhole) {
    TestHome home;
    const fs::path folder = home.dir / "Sync";
    fs::create_directories(folder);
    ASSERT_EQ(home.programs.run({kCli, "sync", folder.string(), "--name", "box"}).code, 0);
    const auto chat = [&](const std::string& name, int replies) {
        std::string lines;
        for (int i = 0; i < replies; ++i)
            lines += replyIn(name, name + std::to_string(i), 200 - i * 0.01, 100 + i);
        writeFile(home.chatFile(name), lines);
    };
    chat("first", 3000);
    // 100 + i over 3000 replies.
    const std::int64_t chatInput = 3000 * 100 + 2999 * 3000 / 2;
    ASSERT_EQ(report(home).input, chatInput);
    ASSERT_EQ(published(folder).size(), 1u);
    const fs::path file = published(folder)[0];
    const auto repliesIn = [&]() -> std::int64_t {
        const auto db = SqliteDatabase::open(file, SqliteDatabase::Mode::readOnly);
        if (!db || HistoryDatabase::damaged(*db))
            return -1;
        return db->queryInteger("SELECT count(*) FROM replies").value_or(-1);
    };
    ASSERT_EQ(repliesIn(), 3000);

    // Killed sooner and later, until a run ends by itself: the file is the old one or the new
    // one, whole, every time.
    chat("second", 3000);
    int kills = 0;
    for (double ms = 5; ms < 20000; ms *= 1.15) {
        const Exit e = home.programs.run({kCli, "report", "daily", "--json"}, "", false,
                                         std::chrono::milliseconds(static_cast<int>(ms)));
        const std::int64_t replies = repliesIn();
        EXPECT_TRUE(replies == 3000 || replies == 6000) << replies << " after " << ms << " ms";
        if (e.signal == SIGKILL) {
            ++kills;
            continue;
        }
        EXPECT_EQ(e.code, 0) << e.err;
        EXPECT_EQ(counted(e).input, 2 * chatInput);
        break;
    }
    EXPECT_GT(kills, 3);
    EXPECT_EQ(repliesIn(), 6000);
    EXPECT_EQ(published(folder).size(), 1u);
}
