#include "UsageStore.hpp"

#include "LogDirectory.hpp"
#include "LogLines.hpp"
#include "TempDir.hpp"
#include "Timestamp.hpp"

#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <future>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace vellumkite;
using namespace vellumkite::testing;
using namespace std::chrono_literals;

namespace {

constexpr double kLookback = 691200; // 8 days

Instant at(const char* text) {
    return *Timestamp::parse(text);
}

class UsageStoreTest : public ::testing::Test {
protected:
    TempDir dir;
    Instant now = at("2025-03-01T12:00:00.000Z");
    UsageStore store{dir.path(), kLookback, [this] { return now; }};

    std::filesystem::path log(const char* name = "proj/chat.jsonl") { return dir / name; }

    static Reply reply(std::string id, const char* time = "2025-03-01T11:00:00.000Z") {
        Reply r;
        r.messageId = std::move(id);
        r.timestamp = time;
        return r;
    }
};

} // namespace

TEST_F(UsageStoreTest, FilesOnlyCompleteLinesAndReadsAPartialLineWholeLater) {
    const std::string line = replyLine(reply("m1"));
    appendFile(log(), line.substr(0, 100));
    EXPECT_FALSE(store.refresh());
    EXPECT_TRUE(store.turns().empty());
    EXPECT_EQ(store.offset(log()).value_or(0), 0u) << "an incomplete line is not consumed";

    appendFile(log(), line.substr(100) + "\n");
    EXPECT_TRUE(store.refresh());
    ASSERT_EQ(store.turns().size(), 1u);
    EXPECT_TRUE(store.turns().contains("m1:req_1"));
    EXPECT_EQ(store.offset(log()), line.size() + 1);

    EXPECT_FALSE(store.refresh()) << "nothing new";
}

// The assistant streams a reply as one line per content block: the same input and cache counts
// on each, a provisional output count on all but the last.
TEST_F(UsageStoreTest, AStreamedReplyKeepsItsLargestCountsHoweverItsLinesArrive) {
    const auto streamed = [](std::string id, const char* time = "2025-03-01T11:00:00.000Z") {
        std::vector<Reply> lines(3, reply(std::move(id), time));
        for (std::size_t i = 0; i < lines.size(); ++i) {
            lines[i].input = 40;
            lines[i].cacheRead = 20000;
            lines[i].cacheWrite = 600;
            lines[i].output = i + 1 < lines.size() ? 9 : 209;
            lines[i].tools = {{lines[i].messageId + "-t" + std::to_string(i), "Read"}};
        }
        return lines;
    };
    const auto text = [](const std::vector<Reply>& lines) {
        std::string out;
        for (const auto& l : lines)
            out += replyLine(l) + "\n";
        return out;
    };
    const auto output = [&](const char* id) {
        return store.turns().at(std::string(id) + ":req_1").output;
    };

    // In one pass.
    appendFile(log("a/one.jsonl"), text(streamed("one")));
    // Across two passes: the last line arrives later.
    auto two = streamed("two");
    appendFile(log("a/two.jsonl"), text({two[0], two[1]}));
    // In reverse order across two files: a resumed chat's copy is read first.
    auto three = streamed("three", "2025-03-01T11:02:00.000Z");
    appendFile(log("a/0-resumed.jsonl"), text({three[2]}));
    appendFile(log("a/1-original.jsonl"), text({three[0], three[1]}));
    // A log that will be truncated and written again.
    appendFile(log("a/four.jsonl"), text(streamed("four")));
    store.refresh();
    EXPECT_EQ(output("one"), 209);
    EXPECT_EQ(output("two"), 9) << "only provisional lines so far";
    EXPECT_EQ(output("three"), 209);
    EXPECT_EQ(output("four"), 209);

    appendFile(log("a/two.jsonl"), text({two[2]}));
    writeFile(log("a/four.jsonl"), text({streamed("four")[0]}));
    store.refresh();
    EXPECT_EQ(output("two"), 209);
    EXPECT_EQ(output("four"), 209) << "a re-read provisional line changes nothing";

    for (const auto& [key, turn] : store.turns()) {
        EXPECT_EQ(key.data(), turn.key.data()) << "the key is kept once, in its turn";
        EXPECT_EQ(turn.input, 40) << key << ": counts are never added up";
        EXPECT_EQ(turn.cacheRead, 20000) << key;
    }
    EXPECT_EQ(store.turns().at("one:req_1").tools, (std::vector<Name>{"Read", "Read", "Read"}))
        << "tool names are appended";
    EXPECT_EQ(store.turns().at("three:req_1").time, at("2025-03-01T11:02:00.000Z"));
    // Every figure built on the replies sees the final count.
    const double expected = 4 * (40 + 0.1 * 20000 + 1.25 * 600 + 5 * 209.0);
    EXPECT_DOUBLE_EQ(store.weightSince(at("2025-03-01T00:00:00.000Z")), expected);
}

TEST_F(UsageStoreTest, NamesResultsAfterCallsSeenInEarlierPasses) {
    Reply r = reply("m1");
    r.tools = {{"t1", "Read"}, {"t2", "WebFetch"}};
    appendFile(log(), replyLine(r) + "\n");
    store.refresh();
    EXPECT_TRUE(store.hasToolName("t1"));
    appendFile(log("other/second.jsonl"),
               resultLine("s1", "2025-03-01T11:01:00.000Z", {{"t1", 400}, {"never", 40}}) + "\n");
    EXPECT_TRUE(store.refresh());
    EXPECT_EQ(store.results().at("t1").tool, "Read");
    EXPECT_EQ(store.results().at("t1").tokens, 100);
    EXPECT_EQ(store.results().at("never").tool, "?");
    // Filed results leave the call-name table, so no id is in both.
    EXPECT_FALSE(store.hasToolName("t1"));
    EXPECT_TRUE(store.hasToolName("t2"));
    for (const auto& [id, result] : store.results())
        EXPECT_FALSE(store.hasToolName(id)) << id;

    // A second result for the same call replaces the first and keeps its name.
    appendFile(log("other/second.jsonl"),
               resultLine("s1", "2025-03-01T11:02:00.000Z", {{"t1", 8}}) + "\n");
    store.refresh();
    EXPECT_EQ(store.results().at("t1").tokens, 2);
    EXPECT_EQ(store.results().at("t1").tool, "Read");

    // A log deleted and written back in two pieces with a pass between: the call comes back
    // first, its result a pass later, and the result keeps its tool.
    Reply q = reply("m2");
    q.tools = {{"t9", "WebFetch"}};
    const std::string call = replyLine(q) + "\n";
    const std::string result = resultLine("s1", "2025-03-01T11:03:00.000Z", {{"t9", 4000}}) + "\n";
    writeFile(log("third.jsonl"), call + result);
    store.refresh();
    std::filesystem::remove(log("third.jsonl"));
    store.refresh();
    writeFile(log("third.jsonl"), call);
    store.refresh();
    appendFile(log("third.jsonl"), result);
    store.refresh();
    EXPECT_EQ(store.results().at("t9").tool, "WebFetch");
    EXPECT_EQ(store.toolEaters(at("2025-03-01T00:00:00.000Z")).front().category, "Web");
}

TEST_F(UsageStoreTest, ResumesFromTheStartAfterTruncation) {
    Reply r = reply("m1");
    r.tools = {{"t1", "Read"}};
    appendFile(log(), replyLine(r) + "\n" + replyLine(reply("m2")) + "\n");
    store.refresh();
    writeFile(log(), replyLine(r) + "\n"); // shorter than the stored offset
    store.refresh();
    EXPECT_EQ(store.turns().size(), 2u);
    EXPECT_EQ(store.turns().at("m1:req_1").tools, (std::vector<Name>{"Read", "Read"}));
    EXPECT_EQ(store.offset(log()), replyLine(r).size() + 1);
}

TEST_F(UsageStoreTest, RereadsAReplacedFileFromItsStart) {
    const std::string a = replyLine(reply("aaaa"));
    appendFile(log(), a + "\n");
    store.refresh();
    // Rewritten in place with longer content: the byte before the old offset is no longer a line
    // feed, so reading on from there would lose the new first line.
    writeFile(log(), replyLine(reply("bbbbbbbb")) + "\n" + replyLine(reply("m3")) + "\n");
    store.refresh();
    EXPECT_TRUE(store.turns().contains("bbbbbbbb:req_1"));
    EXPECT_TRUE(store.turns().contains("m3:req_1"));

    // Replaced by another file (a new inode) whose bytes happen to line up: read from its start.
    const std::string c = replyLine(reply("cccccccc"));
    writeFile(dir / "new.tmp", c + "\n" + c + "\n" + replyLine(reply("m4")) + "\n");
    std::filesystem::rename(dir / "new.tmp", log());
    store.refresh();
    EXPECT_TRUE(store.turns().contains("cccccccc:req_1"));
    EXPECT_TRUE(store.turns().contains("m4:req_1"));
    EXPECT_EQ(store.offset(log()), std::filesystem::file_size(log()));

    // Rewritten in place with lines of exactly the same lengths, so a line feed still sits just
    // before the old offset: the bytes before it tell the files apart.
    writeFile(log(), replyLine(reply("dddddddd")) + "\n" + replyLine(reply("eeeeeeee")) + "\n" +
                         replyLine(reply("m5")) + "\n" + replyLine(reply("m6")) + "\n");
    store.refresh();
    EXPECT_TRUE(store.turns().contains("dddddddd:req_1"));
    EXPECT_TRUE(store.turns().contains("eeeeeeee:req_1"));
    EXPECT_TRUE(store.turns().contains("m6:req_1"));
}

TEST_F(UsageStoreTest, RepliesWithoutAMessageIdCountOnceWhenTheirLogIsWrittenAgain) {
    const std::string bare =
        R"({"type":"assistant","sessionId":"s","timestamp":"2025-03-01T11:00:00.000Z","message":{"usage":{"input_tokens":100,"output_tokens":10}}})";
    const std::string byRequest =
        R"({"type":"assistant","sessionId":"s","requestId":"r9","timestamp":"2025-03-01T11:01:00.000Z","message":{"usage":{"input_tokens":200,"output_tokens":20}}})";
    writeFile(log(), bare + "\n" + byRequest + "\n");
    store.refresh();
    ASSERT_EQ(store.turns().size(), 2u);
    const double weight = store.weightSince(at("2025-03-01T00:00:00.000Z"));
    // Rewritten with a line before them: both are read again, and each still counts once.
    writeFile(log(), replyLine(reply("m1")) + "\n" + bare + "\n" + byRequest + "\n");
    store.refresh();
    EXPECT_EQ(store.turns().size(), 3u);
    EXPECT_DOUBLE_EQ(store.weightSince(at("2025-03-01T00:00:00.000Z")),
                     weight + store.turns().at("m1:req_1").weight());
}

TEST_F(UsageStoreTest, ReadsAFileDeletedAndWrittenAgainAtTheSameSizeAtOnce) {
    // Same size, likely the same inode, and within the file system's time resolution: only the
    // report of the change tells the files apart.
    if (!LogDirectory::canWatch())
        GTEST_SKIP() << "only change reports tell such a file apart at once; a walk sees it "
                        "when it changes again (next test)";
    appendFile(log(), replyLine(reply("aaaa")) + "\n");
    store.refresh();
    std::filesystem::remove(log());
    appendFile(log(), replyLine(reply("bbbb")) + "\n");
    store.refresh();
    EXPECT_TRUE(store.turns().contains("bbbb:req_1"));
}

TEST_F(UsageStoreTest, RereadsAFileDeletedAndWrittenAgainAtTheSameSize) {
    appendFile(log(), replyLine(reply("aaaa")) + "\n");
    store.refresh();
    std::filesystem::remove(log());
    appendFile(log(), replyLine(reply("bbbb")) + "\n");
    store.refresh();
    appendFile(log(), replyLine(reply("cccc")) + "\n");
    store.refresh();
    EXPECT_TRUE(store.turns().contains("bbbb:req_1"));
    EXPECT_TRUE(store.turns().contains("cccc:req_1"));
}

TEST_F(UsageStoreTest, SkipsBlankLinesAndReadsCarriageReturnLines) {
    appendFile(log(), "\n\n" + replyLine(reply("m1")) + "\r\n\n" + replyLine(reply("m2")) + "\n");
    store.refresh();
    EXPECT_EQ(store.turns().size(), 2u);
    const auto size = std::filesystem::file_size(log());
    EXPECT_EQ(store.offset(log()), size);
}

TEST_F(UsageStoreTest, KeepsOnlyTheWindowAndPrunesWhatAgesOut) {
    Reply old = reply("old", "2025-02-20T11:00:00.000Z"); // before the cutoff of Feb 21, 12:00
    old.tools = {{"t-old", "Read"}};
    appendFile(log(), replyLine(old) + "\n" + replyLine(reply("m1")) + "\n" +
                          resultLine("s1", "2025-02-20T11:00:01.000Z", {{"t-old", 40}}) + "\n");
    EXPECT_TRUE(store.refresh());
    EXPECT_FALSE(store.turns().contains("old:req_1"));
    EXPECT_TRUE(store.results().empty());
    EXPECT_TRUE(store.hasToolName("t-old")) << "an old call's name stays known";

    appendFile(log(), resultLine("s1", "2025-03-01T11:00:01.000Z", {{"x", 40}}) + "\n");
    store.refresh();
    EXPECT_EQ(store.results().size(), 1u);

    // Eight days later both have aged out, though no file changed; that pass reports nothing new.
    now = at("2025-03-09T11:30:00.000Z");
    EXPECT_FALSE(store.refresh());
    EXPECT_TRUE(store.turns().empty());
    EXPECT_TRUE(store.results().empty());
}

TEST_F(UsageStoreTest, ClockJumpsNeitherLoseNorDuplicateRecords) {
    appendFile(log(), replyLine(reply("m1")) + "\n");
    store.refresh();
    now -= 24h;
    appendFile(log(), replyLine(reply("m2")) + "\n");
    store.refresh();
    now += 48h;
    appendFile(log(), replyLine(reply("m3")) + "\n");
    store.refresh();
    EXPECT_EQ(store.turns().size(), 3u);
    EXPECT_EQ(store.offset(log()), std::filesystem::file_size(log()));
}

TEST_F(UsageStoreTest, DoesNotOpenFilesOutsideTheWindowButResumesThemLater) {
    appendFile(log(), replyLine(reply("m1")) + "\n");
    store.refresh();
    appendFile(log(), replyLine(reply("m2")) + "\n");
    // Make the file look untouched for ten days.
    const timespec old[2] = {{1740000000, 0}, {1740000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, log().c_str(), old, 0), 0);
    store.refresh();
    EXPECT_FALSE(store.turns().contains("m2:req_1"));
    appendFile(log(), replyLine(reply("m3")) + "\n"); // written again: its mtime is now
    store.refresh();
    EXPECT_TRUE(store.turns().contains("m2:req_1"));
    EXPECT_TRUE(store.turns().contains("m3:req_1"));
}

TEST_F(UsageStoreTest, ReadsOnlyLowerCaseJsonlAnywhereBelowTheRoot) {
    appendFile(log("a/CAPS.JSONL"), replyLine(reply("caps")) + "\n");
    appendFile(log("a/old.jsonl.bak"), replyLine(reply("bak")) + "\n");
    appendFile(log(".hidden/deep/er/x.jsonl"), replyLine(reply("hidden")) + "\n");
    appendFile(log("top.jsonl"), replyLine(reply("top")) + "\n");
    store.refresh();
    EXPECT_EQ(store.turns().size(), 2u);
    EXPECT_TRUE(store.turns().contains("hidden:req_1"));
    EXPECT_TRUE(store.turns().contains("top:req_1"));
}

TEST_F(UsageStoreTest, NeverBlocksOnFifosSocketsDevicesDirectoriesOrLoops) {
    std::filesystem::create_directories(dir / "p");
    ASSERT_EQ(::mkfifo((dir / "p/fifo.jsonl").c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/zero", dir / "p/zero.jsonl");
    std::filesystem::create_directories(dir / "p/folder.jsonl");
    std::filesystem::create_directory_symlink(dir.path(), dir / "p/loop");
    std::filesystem::create_symlink(dir / "p/missing", dir / "p/dangling.jsonl");
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string sockPath = (dir / "p/sock.jsonl").string();
    ASSERT_LT(sockPath.size(), sizeof addr.sun_path);
    std::strcpy(addr.sun_path, sockPath.c_str());
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    // A symlink to a regular log is read like the log itself.
    appendFile(dir / "real/chat.jsonl", replyLine(reply("m1")) + "\n");
    std::filesystem::create_symlink(dir / "real/chat.jsonl", dir / "p/link.jsonl");

    auto pass = std::async(std::launch::async, [&] { return store.refresh(); });
    ASSERT_EQ(pass.wait_for(10s), std::future_status::ready) << "a pass hung";
    EXPECT_TRUE(pass.get());
    EXPECT_EQ(store.turns().size(), 1u);
    ::close(sock);
}

TEST_F(UsageStoreTest, PassesOverAnUnreadableFolder) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root reads every folder";
    appendFile(log("locked/chat.jsonl"), replyLine(reply("locked")) + "\n");
    appendFile(log("open/chat.jsonl"), replyLine(reply("open")) + "\n");
    std::filesystem::permissions(dir / "locked", std::filesystem::perms::none);
    store.refresh();
    EXPECT_EQ(store.turns().size(), 1u);
    EXPECT_TRUE(store.turns().contains("open:req_1"));
}

TEST_F(UsageStoreTest, ReadsSeveralFoldersAsOneAndEachLogOnce) {
    Reply provisional = reply("m1");
    provisional.output = 9;
    Reply final = reply("m1");
    final.output = 209;
    appendFile(dir / "a/p/chat.jsonl",
               replyLine(provisional) + "\n" + replyLine(reply("m2")) + "\n");
    appendFile(dir / "b/q/copy.jsonl", replyLine(final) + "\n");
    std::filesystem::create_directory_symlink(dir / "a", dir / "alias");
    UsageStore several({dir / "a", dir / "b", dir / "alias", dir / "a/p"}, kLookback,
                       [this] { return now; });
    EXPECT_TRUE(several.refresh());
    EXPECT_EQ(several.turns().size(), 2u);
    EXPECT_EQ(several.turns().at("m1:req_1").output, 209) << "one key space across folders";
    EXPECT_TRUE(several.offset(dir / "a/p/chat.jsonl"));
    EXPECT_FALSE(several.offset(dir / "alias/p/chat.jsonl")) << "the same log by another name";
}

TEST_F(UsageStoreTest, MissingRootOnlyPrunes) {
    UsageStore missing(dir / "nope", kLookback, [this] { return now; });
    EXPECT_FALSE(missing.refresh());
    EXPECT_TRUE(missing.turns().empty());
}

TEST_F(UsageStoreTest, ConsumesAnOverlongLineWithoutFilingIt) {
    std::string huge = replyLine(reply("huge"));
    huge.insert(huge.find("\"model\""), "\"pad\":\"" + std::string((64u << 20) + 16, 'z') + "\",");
    appendFile(log(), replyLine(reply("m1")) + "\n" + huge + "\n" + replyLine(reply("m2")) + "\n");
    store.refresh();
    EXPECT_EQ(store.turns().size(), 2u);
    EXPECT_FALSE(store.turns().contains("huge:req_1"));
    EXPECT_EQ(store.offset(log()), std::filesystem::file_size(log()));
}

TEST_F(UsageStoreTest, ParallelPassesFileExactlyLikeOneThread) {
    // Enough bytes across files to take the parallel path; replies split across files share keys.
    const auto lines = [&](int f, char prefix) {
        std::string text;
        for (int i = 0; i < 400; ++i) {
            Reply r = reply(prefix + std::to_string(i % 150));
            r.sessionId = "s" + std::to_string(f);
            r.input = f * 1000 + i;
            r.tools = {
                {"c" + std::to_string(f) + "-" + std::to_string(i), f % 2 ? "Read" : "Bash"}};
            text += replyLine(r) + "\n";
            text +=
                resultLine(r.sessionId, "2025-03-01T11:00:01.000Z",
                           {{"c" + std::to_string((f + 1) % 12) + "-" + std::to_string(i), 2000}}) +
                "\n";
        }
        return text;
    };
    const auto write = [&](char prefix) {
        // The second time, each log is rewritten in place with lines of the same lengths and
        // grows: only the fingerprint tells that its start changed.
        for (int f = 0; f < 12; ++f)
            writeFile(dir / ("p/f" + std::to_string(f) + ".jsonl"),
                      prefix == 'm' ? lines(f, 'm') : lines(f, 'n') + lines(f, 'o'));
    };
    UsageStore serial(dir.path(), kLookback, [this] { return now; });
    serial.setParseThreads(1);
    store.setParseThreads(4);
    for (const char prefix : {'m', 'n'}) {
        write(prefix);
        serial.refresh();
        store.refresh();
        ASSERT_GE(store.lastPass().bytes, std::uint64_t{8} << 20) << "the parallel path was taken";
        ASSERT_EQ(store.turns().size(), serial.turns().size());
        for (const auto& [key, t] : serial.turns()) {
            const Turn& p = store.turns().at(key);
            EXPECT_EQ(p.input, t.input);
            EXPECT_EQ(p.tools, t.tools);
        }
        ASSERT_EQ(store.results().size(), serial.results().size());
        for (const auto& [id, r] : serial.results())
            EXPECT_EQ(store.results().at(id).tool, r.tool) << id;
        EXPECT_EQ(store.toolNameCount(), serial.toolNameCount());
    }
    EXPECT_TRUE(store.turns().contains("n0:req_1")) << "rewritten logs are read from the start";
}
