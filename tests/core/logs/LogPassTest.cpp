#include "LogPass.hpp"

#include "LogLines.hpp"
#include "TempDir.hpp"

#include <gtest/gtest.h>
#include <map>

using namespace vellumkite;
using namespace vellumkite::testing;

namespace {

// A reader that keeps its own positions and notes every line and position it is given.
class Recorder final : public LogPass::Reader {
public:
    std::map<std::string, LogPosition> positions;
    std::vector<std::string> lines;   // in the order taken: a reply's key, or a result's ids
    std::vector<std::string> settled; // path and position, in the order advanced

    std::optional<LogPosition> wants(const std::string& path,
                                     const LogDirectory::Entry& listed) override {
        const auto it = positions.find(path);
        const LogPosition at = it == positions.end() ? LogPosition{} : it->second;
        if (at.upToDate(listed))
            return std::nullopt;
        return at;
    }
    void take(const ParsedLine& line) override {
        if (const auto* reply = std::get_if<TurnLine>(&line)) {
            lines.push_back(reply->turn.key + "/" + std::to_string(reply->turn.output));
            return;
        }
        std::string ids;
        for (const auto& r : std::get<ResultsLine>(line).results)
            ids += r.toolId + "=" + std::to_string(r.tokens) + " ";
        lines.push_back(ids);
    }
    void advance(const std::string& path, const LogPosition& p) override {
        positions.insert_or_assign(path, p);
        settled.push_back(path + " " + std::to_string(p.offset) + " " + std::to_string(p.print));
    }
};

// Replies and tool results of many sizes, a few far longer than the lines around them.
std::string chat(int log, int from, int count) {
    std::string text;
    for (int i = from; i < from + count; ++i) {
        Reply r;
        r.messageId = "m" + std::to_string(log) + "-" + std::to_string(i / 3);
        r.output = i;
        r.tools = {{"c" + std::to_string(log) + "-" + std::to_string(i), "Read"}};
        text += replyLine(r) + "\n";
        const std::size_t size =
            i % 97 == 0 ? 300000 : 100 + static_cast<std::size_t>(i * 7919 % 9000);
        text += resultLine(r.sessionId, r.timestamp, {{r.tools[0].first, size}}) + "\n";
        if (i % 50 == 0)
            text += "{\"not json\n\n";
    }
    return text;
}

} // namespace

TEST(LogPassTest, SlicedLogsGiveEachReaderWhatOneThreadGives) {
    // Readers stand at different places in the same logs: one has read the first part of each,
    // one none of it. Slices much smaller than the logs put many cuts into every log, and into
    // the lines of the first part too.
    TempDir dir;
    const auto path = [&](int log) { return dir / ("p/log" + std::to_string(log) + ".jsonl"); };
    for (int log = 0; log < 3; ++log)
        writeFile(path(log), chat(log, 0, 300));
    const auto pass = [&](unsigned threads, std::uint64_t slice,
                          std::initializer_list<LogPass::Reader*> readers) {
        LogPass logPass({dir.path()});
        logPass.setThreads(threads);
        logPass.setSliceBytes(slice);
        return logPass.run(readers);
    };
    Recorder aheadSerial, behindSerial, ahead, behind;
    pass(1, 0, {&aheadSerial});
    pass(1, 0, {&ahead});
    ahead.lines.clear();
    aheadSerial.lines.clear();
    for (int log = 0; log < 3; ++log)
        appendFile(path(log), chat(log, 300, 1500 + 500 * log) + "{\"unfinished\":");

    const auto serial = pass(1, 0, {&behindSerial, &aheadSerial});
    ASSERT_GE(serial.bytes, std::uint64_t{8} << 20) << "enough to read in parallel";
    pass(3, 64 << 10, {&behind, &ahead});
    EXPECT_EQ(behind.lines, behindSerial.lines);
    EXPECT_EQ(ahead.lines, aheadSerial.lines);
    EXPECT_EQ(behind.settled, behindSerial.settled);
    EXPECT_EQ(ahead.settled, aheadSerial.settled);
    EXPECT_LT(ahead.lines.size(), behind.lines.size());

    // A log rewritten in place since, from its first byte: every reader starts it again.
    writeFile(path(1), chat(7, 0, 2000));
    for (auto* r : {&behind, &ahead, &behindSerial, &aheadSerial}) {
        r->lines.clear();
        r->settled.clear();
    }
    pass(1, 0, {&behindSerial, &aheadSerial});
    pass(2, 100 << 10, {&behind, &ahead});
    EXPECT_EQ(behind.lines, behindSerial.lines);
    EXPECT_EQ(ahead.lines, aheadSerial.lines);
    EXPECT_EQ(ahead.settled, aheadSerial.settled);
    ASSERT_FALSE(ahead.lines.empty());
    EXPECT_EQ(ahead.lines.front().rfind("m7-0:", 0), 0u);
}
