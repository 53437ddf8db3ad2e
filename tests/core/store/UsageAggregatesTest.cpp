#include "LogLines.hpp"
#include "StoreFixture.hpp"

#include <gtest/gtest.h>
#include <random>

using namespace vellumkite;
using namespace vellumkite::testing;
using namespace std::chrono_literals;

namespace {

class UsageAggregatesTest : public StoreFixture {
protected:
    int serial = 0;

    void addReply(const std::string& session, const char* time, std::int64_t input,
                  std::int64_t cacheRead = 0, std::int64_t cacheWrite = 0, std::int64_t output = 0,
                  const char* cwd = "/home/you/p") {
        Reply r;
        r.messageId = "m" + std::to_string(++serial);
        r.sessionId = session;
        r.timestamp = time;
        r.input = input;
        r.cacheRead = cacheRead;
        r.cacheWrite = cacheWrite;
        r.output = output;
        r.cwd = cwd;
        appendFile(logs / (session + ".jsonl"), replyLine(r) + "\n");
    }
    void addResult(const std::string& session, const char* time, const std::string& callId,
                   const char* tool, std::size_t bytes) {
        Reply r;
        r.messageId = "call-" + callId;
        r.sessionId = "elsewhere"; // the call's reply itself must not count as a later turn
        r.timestamp = "2025-02-25T00:00:00.000Z";
        r.tools = {{callId, tool}};
        appendFile(logs / "0calls.jsonl", replyLine(r) + "\n"); // listed first
        appendFile(logs / (session + ".jsonl"),
                   resultLine(session, time, {{callId, bytes}}) + "\n");
    }
};

} // namespace

TEST_F(UsageAggregatesTest, EmptyStoreHasNoFigures) {
    store.refresh();
    EXPECT_TRUE(store.turns(kDistantPast).empty());
    EXPECT_TRUE(store.chats(kDistantPast).empty());
    EXPECT_TRUE(store.toolEaters(kDistantPast).empty());
    EXPECT_FALSE(store.currentChat());
    EXPECT_EQ(store.burnRate(15), 0.0);
}

TEST_F(UsageAggregatesTest, ChatSizeComesFromTheLatestTurnAndWeightSumsAll) {
    addReply("a", "2025-03-01T10:00:00.000Z", 1000, 10000, 2000, 500); // weighs 7000
    addReply("a", "2025-03-01T10:05:00.000Z", 10, 90000, 5000, 0, "/home/you/later/");
    store.refresh();
    const auto chats = store.chats(kDistantPast);
    ASSERT_EQ(chats.size(), 1u);
    EXPECT_EQ(chats[0].size, 95010);
    EXPECT_EQ(chats[0].replies, 2);
    EXPECT_DOUBLE_EQ(chats[0].weight, 7000.0 + (10 + 9000 + 6250));
    EXPECT_EQ(chats[0].output, 500);
    EXPECT_EQ(chats[0].project, "/home/you/later/");
    EXPECT_EQ(chats[0].lastTime, at("2025-03-01T10:05:00.000Z"));
}

TEST_F(UsageAggregatesTest, TodayCountsOnlyTodayWhileTheCurrentChatCountsEverything) {
    addReply("a", "2025-02-28T23:00:00.000Z", 100);
    addReply("a", "2025-03-01T09:00:00.000Z", 200);
    addReply("b", "2025-03-01T08:00:00.000Z", 1000);
    store.refresh();
    const auto today = store.chats(at("2025-03-01T00:00:00.000Z"));
    ASSERT_EQ(today.size(), 2u);
    EXPECT_EQ(today[0].sessionId, "b"); // heaviest first
    EXPECT_EQ(today[1].sessionId, "a");
    EXPECT_EQ(today[1].replies, 1);
    EXPECT_DOUBLE_EQ(today[1].weight, 200);
    const auto current = store.currentChat();
    ASSERT_TRUE(current);
    EXPECT_EQ(current->sessionId, "a");
    EXPECT_EQ(current->replies, 2);
    EXPECT_DOUBLE_EQ(current->weight, 300);
}

TEST_F(UsageAggregatesTest, TiesAreOrderedDeterministically) {
    addReply("zeta", "2025-03-01T09:00:00.000Z", 100);
    addReply("alpha", "2025-03-01T09:00:00.000Z", 100);
    store.refresh();
    const auto chats = store.chats(kDistantPast);
    ASSERT_EQ(chats.size(), 2u);
    EXPECT_EQ(chats[0].sessionId, "alpha");
    // Equal latest times: the turn with the greatest key decides the current chat.
    const auto turns = store.turns(kDistantPast);
    EXPECT_EQ(store.currentChat()->sessionId, turns.back().sessionId);
    EXPECT_LT(turns.front().key, turns.back().key);
}

TEST_F(UsageAggregatesTest, ToolOutputWeighsByHowOftenItIsReRead) {
    addResult("a", "2025-03-01T10:00:00.000Z", "r1", "Read", 16000); // 4000 tokens
    addReply("a", "2025-03-01T10:01:00.000Z", 1);
    addReply("a", "2025-03-01T10:02:00.000Z", 1);
    addReply("a", "2025-03-01T10:03:00.000Z", 1);
    addReply("a", "2025-03-01T10:00:00.000Z", 1); // at the same time: not later
    addResult("b", "2025-03-01T10:00:00.000Z", "r2", "Grep", 16000);
    addReply("b", "2025-03-01T10:01:00.000Z", 1);
    addResult("nobody", "2025-03-01T10:00:00.000Z", "r3", "mcp__github__x", 4000); // no turns
    addResult("a", "2025-03-01T10:00:00.000Z", "r4", "Read", 1200);
    addResult("a", "2025-03-01T10:00:00.000Z", "r5", "NotebookRead", 4800);
    addResult("a", "2025-02-28T10:00:00.000Z", "r6", "Read", 4000000); // yesterday
    store.refresh();
    const auto eaters = store.toolEaters(at("2025-03-01T00:00:00.000Z"));
    ASSERT_EQ(eaters.size(), 3u);
    EXPECT_EQ(eaters[0].category, "File reads");
    EXPECT_EQ(eaters[0].calls, 3);
    EXPECT_EQ(eaters[0].tokens, 4000 + 300 + 1200);
    EXPECT_EQ(eaters[0].biggest, 4000);
    EXPECT_DOUBLE_EQ(eaters[0].weight, 4000 * 1.45 + 300 * 1.45 + 1200 * 1.45);
    EXPECT_EQ(eaters[1].category, "Searches");
    EXPECT_DOUBLE_EQ(eaters[1].weight, 5000);
    EXPECT_EQ(eaters[2].category, "Connectors");
    EXPECT_DOUBLE_EQ(eaters[2].weight, 1250);
}

TEST_F(UsageAggregatesTest, BurnRateCountsBackFromTheClock) {
    addReply("a", "2025-03-01T11:50:00.000Z", 3000);
    addReply("a", "2025-03-01T11:45:00.000Z", 1500); // exactly 15 minutes ago: counts
    addReply("a", "2025-03-01T11:44:59.999Z", 100000);
    store.refresh();
    EXPECT_DOUBLE_EQ(store.burnRate(15), 4500.0 / 15);
    EXPECT_DOUBLE_EQ(store.weightSince(at("2025-03-01T11:45:00.000Z")), 4500);
}

TEST(UsageAggregatesRandomTest, FiguresMatchAFreshStoreAfterManyPasses) {
    // A long-lived store keeps its time-ordered views up to date as records come and go; a fresh
    // store over the same file builds them from scratch. Their figures must agree at every step.
    // (The clock only moves forward and each call gets one result: otherwise what a pass prunes
    // or names legitimately depends on when lines were read.)
    TempDir dir;
    Instant now = StoreFixture::at("2025-03-01T12:00:00.000Z");
    UsageStore store(dir.path(), 3 * 86400.0, [&] { return now; });
    std::mt19937 rng(7);
    const auto file = dir / "p/chat.jsonl";
    int serial = 0, calls = 0;
    Instant lastTime = now;
    std::string pendingTail;
    for (int pass = 0; pass < 40; ++pass) {
        std::string text = pendingTail;
        for (int i = 0, n = static_cast<int>(rng() % 30); i < n; ++i) {
            Reply r;
            const bool sameReply = serial > 0 && rng() % 3 == 0; // a reply written as two lines
            if (!sameReply) {
                ++serial;
                lastTime = addSeconds(now, -static_cast<double>(rng() % (4 * 86400)));
            }
            const Instant t = lastTime;
            r.messageId = "m" + std::to_string(serial);
            r.sessionId = "s" + std::to_string(serial % 4);
            r.timestamp = Timestamp::format(t);
            r.input = rng() % 5000;
            r.output = rng() % 500;
            const std::string call = "c" + std::to_string(++calls);
            r.tools = {{call, rng() % 2 ? "Read" : "WebFetch"}};
            text += replyLine(r) + "\n";
            text += resultLine(r.sessionId, Timestamp::format(addSeconds(t, 1)),
                               {{call, rng() % 4000}}) +
                    "\n";
        }
        // Leave part of the last line for the next pass.
        const std::size_t cut = text.empty() ? 0 : rng() % std::min<std::size_t>(text.size(), 200);
        pendingTail = text.substr(text.size() - cut);
        appendFile(file, text.substr(0, text.size() - cut));
        now = addSeconds(now, static_cast<double>(rng() % 20000));
        store.refresh();

        UsageStore fresh(dir.path(), 3 * 86400.0, [&] { return now; });
        fresh.refresh();
        const Instant since = addSeconds(now, -86400);
        ASSERT_EQ(store.turns().size(), fresh.turns().size()) << pass;
        ASSERT_EQ(store.results().size(), fresh.results().size()) << pass;
        const auto a = store.turns(since), b = fresh.turns(since);
        ASSERT_EQ(a.size(), b.size());
        for (std::size_t i = 0; i < a.size(); ++i)
            EXPECT_EQ(a[i].key, b[i].key);
        EXPECT_EQ(store.chats(since), fresh.chats(since)) << pass;
        EXPECT_EQ(store.currentChat(), fresh.currentChat()) << pass;
        EXPECT_EQ(store.toolEaters(since), fresh.toolEaters(since)) << pass;
        EXPECT_EQ(store.toolEaters(kDistantPast), fresh.toolEaters(kDistantPast)) << pass;
        // The same questions as last pass: answered afresh once any record came, changed or went.
        EXPECT_EQ(store.chats(kDistantPast), fresh.chats(kDistantPast)) << pass;
        EXPECT_EQ(store.currentChat(), fresh.currentChat()) << pass;
    }
}

TEST_F(UsageAggregatesTest, FiguresAskedAgainFollowRecordsThatAgeOutWithNothingNew) {
    addReply("old", "2025-02-22T11:00:00.000Z", 1000);
    addReply("new", "2025-03-01T11:00:00.000Z", 10);
    addResult("old", "2025-02-22T11:00:01.000Z", "c1", "Read", 4000); // its call: 02-25
    store.refresh();
    ASSERT_EQ(store.chats(kDistantPast).size(), 3u);
    ASSERT_EQ(store.toolEaters(kDistantPast).size(), 1u);
    // A day later the oldest records leave the window; the pass reads nothing new.
    now = at("2025-03-02T12:00:00.000Z");
    EXPECT_FALSE(store.refresh());
    const auto chats = store.chats(kDistantPast);
    ASSERT_EQ(chats.size(), 2u);
    EXPECT_NE(chats[0].sessionId, "old");
    EXPECT_NE(chats[1].sessionId, "old");
    EXPECT_TRUE(store.toolEaters(kDistantPast).empty());
    EXPECT_EQ(store.currentChat()->sessionId, "new");
}
