// Several machines' histories through one folder: each publishes its own rows, takes in the
// others', and every reply counts once over them all.
#include "History.hpp"
#include "HistoryDatabase.hpp"
#include "HistoryQuery.hpp"
#include "HistoryUpdate.hpp"
#include "LimitHistory.hpp"
#include "LogLines.hpp"
#include "PromptBands.hpp"
#include "SyncFile.hpp"
#include "SyncFolder.hpp"
#include "SyncMachines.hpp"
#include "SyncPublish.hpp"
#include "SyncTakeIn.hpp"
#include "TempDir.hpp"
#include "Timestamp.hpp"

#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <sys/stat.h>

using namespace vellumkite;
using namespace vellumkite::testing;
namespace fs = std::filesystem;

namespace {

// One machine: its logs, its history and its identity.
struct Machine {
    fs::path logs;
    std::unique_ptr<History> history;
    MachineIdentity me;

    Machine(const fs::path& home, const std::string& name)
        : logs(home / "logs"), me{MachineIdentity::newId(), name} {
        auto opened = HistoryDatabase::open(home / "history.sqlite3");
        EXPECT_TRUE(opened.db) << opened.message;
        history = std::make_unique<History>(std::move(*opened.db));
    }
    const SqliteDatabase& db() const { return history->database(); }

    // A reply in a chat's log, read into the history at once.
    void reply(const std::string& chat, const std::string& id, const std::string& time,
               std::int64_t output, const std::string& model = "claude-sonnet-4-5",
               std::int64_t cacheRead = 1000) {
        Reply r;
        r.messageId = id;
        r.requestId = "req_" + id;
        r.sessionId = chat;
        r.timestamp = time;
        r.model = model;
        r.cacheRead = cacheRead;
        r.output = output;
        appendFile(logs / "p" / (chat + ".jsonl"), replyLine(r) + "\n");
        ASSERT_TRUE(HistoryUpdate::run(*history, {logs}));
    }

    SyncPublish::Outcome publish(const fs::path& folder, bool always = false) const {
        return SyncPublish::run(db(), me, folder, systemNow(), always);
    }
    SyncTakeIn::Outcome takeIn(const fs::path& folder) const {
        return SyncTakeIn::run(db(), folder, me.id, systemNow());
    }

    // Output tokens and replies over a scope, from the quarter sums and from the replies.
    struct Totals {
        std::int64_t output = 0, replies = 0, byChat = 0;
        bool operator==(const Totals&) const = default;
    };
    Totals totals(MachineScope scope = {}) const {
        const HistoryQuery q(db(), scope);
        Totals t;
        const auto quarters = q.quarters(kDistantPast, kDistantFuture).value();
        for (const auto& row : quarters) {
            t.output += row.usage.output;
            t.replies += row.usage.replies;
        }
        const auto chats =
            q.shares(HistoryQuery::By::session, kDistantPast, kDistantFuture).value();
        for (const auto& row : chats)
            t.byChat += row.usage.output;
        return t;
    }
    // The sums kept row by row (and in bulk for a machine's first file) are what the rows add
    // up to; the sums per local day are what the quarter hours add up to.
    void expectSumsAgree() const {
        // Rows that differ from a recount, both ways, for each table of sums.
        const char* recount = R"sql(
(SELECT count(*) FROM (
    SELECT machine, quarter, model, fast, us_only, prompt_floor, input, output, cache_write,
           cache_read, web_searches, replies FROM machine_quarters
    EXCEPT
    SELECT machine, time / 900000000, model, fast, us_only, @F@, sum(input), sum(output),
           sum(cache_write), sum(cache_read), sum(web_searches), count(*)
    FROM peer_replies r GROUP BY 1, 2, 3, 4, 5, 6))
+ (SELECT count(*) FROM (
    SELECT quarter, model, fast, us_only, prompt_floor, input, output, cache_write, cache_read,
           web_searches, replies FROM peer_quarters
    EXCEPT
    SELECT time / 900000000, model, fast, us_only, @F@, sum(input), sum(output),
           sum(cache_write), sum(cache_read), sum(web_searches), count(*)
    FROM peer_replies r WHERE counted GROUP BY 1, 2, 3, 4, 5))
+ (SELECT count(*) FROM machine_quarters) + (SELECT count(*) FROM peer_quarters)
- (SELECT count(*) FROM (SELECT DISTINCT machine, time / 900000000, model, fast, us_only, @F@
                         FROM peer_replies r))
- (SELECT count(*) FROM (SELECT DISTINCT time / 900000000, model, fast, us_only, @F@
                         FROM peer_replies r WHERE counted)))sql";
        std::string sql = recount;
        const auto floor = PromptBands::floorOf(PromptBands::read(db()).value(), "r");
        for (auto at = sql.find("@F@"); at != std::string::npos; at = sql.find("@F@", at))
            sql.replace(at, 3, floor);
        EXPECT_EQ(db().queryInteger("SELECT " + sql), 0) << db().lastError();
        // A key counts at most once, and not beside this machine's own.
        EXPECT_EQ(db().queryInteger("SELECT count(*) FROM (SELECT key FROM peer_replies WHERE "
                                    "counted GROUP BY key HAVING count(*) > 1)"),
                  0);
        EXPECT_EQ(db().queryInteger("SELECT count(*) FROM peer_replies p JOIN replies l "
                                    "ON l.key = p.key WHERE p.counted"),
                  0);

        std::map<std::pair<std::string, std::string>, std::int64_t> byDay, fromQuarters;
        const HistoryQuery q(db());
        const auto days = q.days(std::nullopt, std::nullopt).value();
        for (const auto& d : days)
            byDay[{d.date.text(), d.model}] += d.usage.output * 1000 + d.usage.replies;
        const auto quarters = q.quarters(kDistantPast, kDistantFuture).value();
        for (const auto& r : quarters)
            fromQuarters[{LocalDate::of(Instant{std::chrono::minutes(15 * r.index)}).text(),
                          r.model}] += r.usage.output * 1000 + r.usage.replies;
        EXPECT_EQ(byDay, fromQuarters);
    }

    std::int64_t numberOf(const Machine& other) const {
        const auto machines = SyncMachines::list(db(), me, true).value();
        for (const auto& m : machines)
            if (m.id == other.me.id)
                return m.number;
        return -1;
    }
};

std::string timeAt(int daysAgo, int hour) {
    const auto day = std::chrono::floor<std::chrono::days>(systemNow()) -
                     std::chrono::days(daysAgo) + std::chrono::hours(hour);
    return Timestamp::format(std::chrono::time_point_cast<std::chrono::microseconds>(day));
}

std::vector<std::string> folderNames(const fs::path& folder) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(folder))
        out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

class SyncTest : public ::testing::Test {
protected:
    TempDir dir;
    fs::path folder = dir / "Sync";
    void SetUp() override { fs::create_directories(folder); }
};

} // namespace

TEST_F(SyncTest, TwoMachinesTakeEachOtherInAndAChatOnBothCountsOnce) {
    Machine laptop(dir / "laptop", "laptop"), desktop(dir / "desktop", "desktop");
    laptop.reply("c1", "a1", timeAt(2, 9), 10);
    desktop.reply("c2", "b1", timeAt(2, 10), 20, "claude-opus-4-5");
    // A chat the user copied over: the same reply in both machines' logs.
    for (Machine* m : {&laptop, &desktop})
        m->reply("shared", "s1", timeAt(1, 11), 100);

    for (const Machine* m : {&laptop, &desktop})
        EXPECT_EQ(m->publish(folder).status, SyncPublish::Status::published);
    EXPECT_EQ(laptop.publish(folder).status, SyncPublish::Status::unchanged);
    for (const Machine* m : {&laptop, &desktop}) {
        const auto in = m->takeIn(folder);
        EXPECT_EQ(in.taken, 1);
        EXPECT_TRUE(in.lines.empty()) << in.lines.front();
    }

    // Each counts all three replies once; alone, each has its own two.
    for (const Machine* m : {&laptop, &desktop}) {
        EXPECT_EQ(m->totals(), (Machine::Totals{130, 3, 130}));
        EXPECT_EQ(m->totals(MachineScope::self()),
                  (Machine::Totals{m == &laptop ? 110 : 120, 2, m == &laptop ? 110 : 120}));
    }
    EXPECT_EQ(laptop.totals(MachineScope::other(laptop.numberOf(desktop))),
              (Machine::Totals{120, 2, 120}));
    EXPECT_EQ(desktop.totals(MachineScope::other(desktop.numberOf(laptop))),
              (Machine::Totals{110, 2, 110}));

    // The folder holds the two files alone, the user's only, and each holds its machine's rows
    // and names alone.
    const auto names = folderNames(folder);
    ASSERT_EQ(names.size(), 2u);
    for (const Machine* m : {&laptop, &desktop}) {
        const auto file = folder / SyncFolder::fileName(m->me.id);
        struct stat st {};
        ASSERT_EQ(::stat(file.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        auto db = SqliteDatabase::open(file, SqliteDatabase::Mode::readOnly);
        ASSERT_TRUE(db);
        EXPECT_EQ(db->queryInteger("SELECT count(*) FROM replies"), 2);
        EXPECT_EQ(db->queryInteger("SELECT count(*) FROM names WHERE text = 'c1' OR text = 'c2'"),
                  1);
        EXPECT_EQ(db->queryInteger("PRAGMA user_version"), SyncFile::kFormat);
    }

    const auto listed = SyncMachines::list(laptop.db(), laptop.me).value();
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_TRUE(listed[0].self);
    EXPECT_EQ(listed[0].replies, 2);
    EXPECT_EQ(listed[1].name, "desktop");
    EXPECT_EQ(listed[1].replies, 2);
    EXPECT_TRUE(listed[1].published.has_value());
    EXPECT_EQ(SyncMachines::days(laptop.db(), listed[1]).value().count, 2);
    laptop.expectSumsAgree();
    desktop.expectSumsAgree();
}

TEST_F(SyncTest, NewRepliesGrownRepliesAndAChatReadLaterAreTakenInWithoutCountingTwice) {
    Machine laptop(dir / "laptop", "laptop"), desktop(dir / "desktop", "desktop");
    desktop.reply("c2", "b1", timeAt(3, 10), 5);
    ASSERT_EQ(desktop.publish(folder).status, SyncPublish::Status::published);
    ASSERT_EQ(laptop.takeIn(folder).taken, 1);
    EXPECT_EQ(laptop.takeIn(folder).taken, 0) << "an unchanged file is not read again";

    // The desktop reads the rest of the streamed reply, and a new one days later.
    desktop.reply("c2", "b1", timeAt(3, 10), 50);
    desktop.reply("c2", "b2", timeAt(1, 10), 7, "claude-sonnet-4-5", 300000);
    ASSERT_EQ(desktop.publish(folder).status, SyncPublish::Status::published);
    ASSERT_EQ(laptop.takeIn(folder).taken, 1);
    EXPECT_EQ(laptop.totals(), (Machine::Totals{57, 2, 57}));

    laptop.expectSumsAgree();

    // The laptop later reads the desktop's chat itself (the user copied it over): the reply
    // now counts as the laptop's, still once.
    laptop.reply("c2", "b2", timeAt(1, 10), 7, "claude-sonnet-4-5", 300000);
    EXPECT_EQ(laptop.totals(), (Machine::Totals{57, 2, 57}));
    EXPECT_EQ(laptop.totals(MachineScope::self()), (Machine::Totals{7, 1, 7}));
    laptop.expectSumsAgree();

    // A price book with a new threshold keeps every machine's sums apart at it, and the sums
    // still add up the same.
    ASSERT_TRUE(PromptBands::splitAt(laptop.db(), {250000}));
    EXPECT_EQ(laptop.totals(), (Machine::Totals{57, 2, 57}));
    EXPECT_EQ(laptop.totals(MachineScope::other(laptop.numberOf(desktop))),
              (Machine::Totals{57, 2, 57}));
    laptop.expectSumsAgree();

    // The desktop's file goes: what was taken in stays.
    fs::remove(folder / SyncFolder::fileName(desktop.me.id));
    EXPECT_EQ(laptop.takeIn(folder).taken, 0);
    EXPECT_EQ(laptop.totals(), (Machine::Totals{57, 2, 57}));
}

TEST_F(SyncTest, ThreeMachinesAReplyOnAllCountsOnceAndForgettingHandsItOn) {
    Machine a(dir / "a", "a"), b(dir / "b", "b"), c(dir / "c", "c");
    for (Machine* m : {&b, &c})
        m->reply("shared", "s1", timeAt(2, 8), 40);
    b.reply("cb", "b1", timeAt(2, 9), 1);
    c.reply("cc", "c1", timeAt(2, 9), 2);
    a.reply("ca", "a1", timeAt(2, 9), 4);
    for (const Machine* m : {&a, &b, &c})
        ASSERT_EQ(m->publish(folder).status, SyncPublish::Status::published);
    // The first take-in finds both at once, the same content whatever the order.
    ASSERT_EQ(a.takeIn(folder).taken, 2);
    EXPECT_EQ(a.totals(), (Machine::Totals{47, 4, 47}));

    // Whichever copy counted, forgetting its machine hands the shared reply to the other.
    const auto listed = SyncMachines::list(a.db(), a.me).value();
    const auto* first = SyncMachines::find(listed, "b");
    ASSERT_NE(first, nullptr);
    a.expectSumsAgree();
    ASSERT_TRUE(SyncMachines::forget(a.db(), first->number));
    EXPECT_EQ(a.totals(), (Machine::Totals{46, 3, 46}));
    a.expectSumsAgree();
    EXPECT_EQ(a.totals(MachineScope::other(a.numberOf(c))), (Machine::Totals{42, 2, 42}));
    EXPECT_EQ(SyncMachines::list(a.db(), a.me).value().size(), 2u);
    // Its file, unchanged, stays passed over; once it changes it is taken in again.
    EXPECT_EQ(a.takeIn(folder).taken, 0);
    b.reply("cb", "b3", timeAt(1, 9), 8);
    ASSERT_EQ(b.publish(folder).status, SyncPublish::Status::published);
    EXPECT_EQ(a.takeIn(folder).taken, 1);
    EXPECT_EQ(a.totals(), (Machine::Totals{55, 5, 55}));
    a.expectSumsAgree();

    // Names are the user's to choose: two machines of one name are told apart by id.
    std::vector<const SyncMachine*> matches;
    auto same = SyncMachines::list(a.db(), a.me).value();
    same[1].name = same[2].name = "twin";
    EXPECT_EQ(SyncMachines::find(same, "twin", &matches), nullptr);
    EXPECT_EQ(matches.size(), 2u);
    EXPECT_EQ(SyncMachines::find(same, same[2].id.substr(0, 8)), &same[2]);
}

TEST_F(SyncTest, OnlyExactNamesAreReadAndABadFileIsSkippedOnceWithALine) {
    Machine laptop(dir / "laptop", "laptop"), desktop(dir / "desktop", "desktop");
    desktop.reply("c2", "b1", timeAt(2, 10), 20);
    ASSERT_EQ(desktop.publish(folder).status, SyncPublish::Status::published);
    const auto good = folder / SyncFolder::fileName(desktop.me.id);
    const std::string bytes = readFile(good);

    // Copies that sync engines make, and things of the user's, are never read nor touched.
    const std::string id = desktop.me.id;
    const std::vector<std::string> leftAlone = {
        "vellumkite-" + id + ".sync-conflict-20261207-101010-ABCDEFG.sqlite3",
        "vellumkite-" + id + " (conflicted copy 2026-12-07).sqlite3",
        ".vellumkite-" + id + ".sqlite3.123-456.tmp", "vellumkite-" + id + ".sqlite3.bak",
        "notes.txt"};
    for (const auto& name : leftAlone)
        writeFile(folder / name, bytes);
    // Damaged ones under names of the right form.
    const std::string torn = MachineIdentity::newId(), noise = MachineIdentity::newId(),
                      liar = MachineIdentity::newId(), newer = MachineIdentity::newId();
    writeFile(folder / SyncFolder::fileName(torn), bytes.substr(0, bytes.size() / 2));
    writeFile(folder / SyncFolder::fileName(noise), std::string(8192, '\x5a'));
    fs::copy_file(good, folder / SyncFolder::fileName(liar));
    {
        Machine future(dir / "future", "future");
        future.me.id = newer;
        future.reply("f", "f1", timeAt(2, 10), 1000);
        ASSERT_EQ(future.publish(folder).status, SyncPublish::Status::published);
        auto db = SqliteDatabase::open(folder / SyncFolder::fileName(newer),
                                       SqliteDatabase::Mode::readWrite);
        ASSERT_TRUE(db &&
                    db->exec("PRAGMA user_version = " + std::to_string(SyncFile::kFormat + 1)));
    }
    const auto before = folderNames(folder);

    const auto in = laptop.takeIn(folder);
    EXPECT_EQ(in.taken, 1);
    ASSERT_EQ(in.lines.size(), 4u);
    const auto said = [&](const std::string& id, const std::string& why) {
        for (const auto& line : in.lines)
            if (line.find(id) != std::string::npos)
                return line.find(why) != std::string::npos;
        return false;
    };
    EXPECT_TRUE(said(torn, "cut short"));
    EXPECT_TRUE(said(noise, "not a database"));
    EXPECT_TRUE(said(liar, "names another machine"));
    EXPECT_TRUE(said(newer, "newer version"));
    EXPECT_EQ(laptop.totals(), (Machine::Totals{20, 1, 20}));
    // Not tried again until they change; listed with what was wrong.
    EXPECT_TRUE(laptop.takeIn(folder).lines.empty());
    const auto listed = SyncMachines::list(laptop.db(), laptop.me).value();
    EXPECT_EQ(std::count_if(listed.begin(), listed.end(),
                            [](const SyncMachine& m) { return !m.problem.empty(); }),
              4);

    // Publishing writes this machine's file alone.
    ASSERT_EQ(laptop.publish(folder).status, SyncPublish::Status::published);
    auto after = folderNames(folder);
    after.erase(std::find(after.begin(), after.end(), SyncFolder::fileName(laptop.me.id)));
    EXPECT_EQ(after, before);
    for (const auto& name : leftAlone)
        EXPECT_EQ(readFile(folder / name), bytes) << name;
}

TEST_F(SyncTest, AFolderThatCannotBeWrittenOrReadIsSaidAndChangesNothing) {
    Machine laptop(dir / "laptop", "laptop");
    laptop.reply("c1", "a1", timeAt(2, 10), 20);
    const auto missing = laptop.publish(dir / "nowhere");
    EXPECT_EQ(missing.status, SyncPublish::Status::failed);
    EXPECT_NE(missing.message.find("does not exist"), std::string::npos) << missing.message;
    EXPECT_EQ(laptop.takeIn(dir / "nowhere").lines.size(), 1u);
    if (::geteuid() != 0) {
        fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
        const auto readOnly = laptop.publish(folder);
        EXPECT_EQ(readOnly.status, SyncPublish::Status::failed);
        EXPECT_NE(readOnly.message.find("cannot be written"), std::string::npos);
        EXPECT_TRUE(folderNames(folder).empty());
    }
    EXPECT_EQ(laptop.totals(), (Machine::Totals{20, 1, 20}));
}

TEST_F(SyncTest, TheLimitReadingsOfEveryMachineAreReadTogetherAndLeaveWithAForgottenOne) {
    Machine laptop(dir / "laptop", "laptop"), desktop(dir / "desktop", "desktop");
    const Instant now = systemNow();
    const Instant resets = addSeconds(now, 3 * 3600);
    const auto read = [&](Machine& m, double minutesAgo, double percent) {
        m.history->takeReading(
            {addSeconds(now, -minutesAgo * 60), {{"five_hour", percent, resets}}});
        ASSERT_TRUE(m.history->commit());
    };
    // The window was read on one machine, then on the other.
    read(laptop, 110, 5);
    read(laptop, 100, 10);
    read(desktop, 50, 30);
    read(desktop, 40, 35);
    read(desktop, 30, 40);
    ASSERT_EQ(desktop.publish(folder).status, SyncPublish::Status::published);
    ASSERT_EQ(laptop.takeIn(folder).taken, 1);
    const auto points = [&](const Machine& m) {
        const auto instances = LimitHistory(m.db()).instances(kDistantPast, kDistantFuture);
        std::vector<double> out;
        for (const auto& i : instances.value())
            for (const auto& r : i.readings)
                out.push_back(r.percent);
        return out;
    };
    EXPECT_EQ(points(laptop), (std::vector<double>{5, 10, 30, 35, 40}));
    // A later reading only is taken in the next time; nothing twice.
    read(desktop, 20, 45);
    ASSERT_EQ(desktop.publish(folder).status, SyncPublish::Status::published);
    ASSERT_EQ(laptop.takeIn(folder).taken, 1);
    EXPECT_EQ(points(laptop), (std::vector<double>{5, 10, 30, 35, 40, 45}));
    // This machine's own file carries its readings alone.
    ASSERT_EQ(laptop.publish(folder).status, SyncPublish::Status::published);
    ASSERT_EQ(desktop.takeIn(folder).taken, 1);
    EXPECT_EQ(points(desktop), (std::vector<double>{5, 10, 30, 35, 40, 45}));

    ASSERT_TRUE(SyncMachines::forget(laptop.db(), laptop.numberOf(desktop)));
    EXPECT_EQ(points(laptop), (std::vector<double>{5, 10}));
}
