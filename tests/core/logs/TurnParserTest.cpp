#include "TurnParser.hpp"

#include "DomTurnParser.hpp"
#include "LogLines.hpp"
#include "Timestamp.hpp"

#include <gtest/gtest.h>
#include <random>
#include <stdexcept>

using namespace vellumkite;
using vellumkite::testing::Reply;
using vellumkite::testing::replyLine;
using vellumkite::testing::resultLine;
namespace dom_reference = vellumkite::testing::dom_reference;

namespace {

TurnLine asTurn(const std::optional<ParsedLine>& p) {
    if (!p)
        throw std::runtime_error("the line yielded nothing");
    return std::get<TurnLine>(*p);
}

ResultsLine asResults(const std::optional<ParsedLine>& p) {
    if (!p)
        throw std::runtime_error("the line yielded nothing");
    return std::get<ResultsLine>(*p);
}

std::string userWithContent(const std::string& content) {
    return R"({"type":"user","sessionId":"s","timestamp":"2025-03-01T09:30:15.250Z","message":{"content":[{"type":"tool_result","tool_use_id":"t1","content":)" +
           content + "}]}}";
}

} // namespace

TEST(TurnParserTest, ReadsAReplyWithItsUsageAndToolCalls) {
    Reply r;
    r.input = 1000;
    r.cacheRead = 10000;
    r.cacheWrite = 2000;
    r.output = 500;
    r.tools = {{"t1", "Read"}, {"t2", "Bash"}};
    const auto& line = asTurn(TurnParser::parse(replyLine(r)));
    EXPECT_EQ(line.turn.key, "msg_1:req_1");
    EXPECT_EQ(line.turn.sessionId, "s1");
    EXPECT_EQ(line.turn.project, "/home/you/project");
    EXPECT_EQ(line.turn.model, "claude-sonnet");
    EXPECT_EQ(line.turn.entrypoint, "cli");
    EXPECT_EQ(line.turn.time, *Timestamp::parse("2025-03-01T09:30:15.250Z"));
    EXPECT_EQ(line.turn.input, 1000);
    EXPECT_EQ(line.turn.cacheRead, 10000);
    EXPECT_EQ(line.turn.cacheWrite, 2000);
    EXPECT_EQ(line.turn.output, 500);
    EXPECT_EQ(line.turn.tools, (std::vector<Name>{"Read", "Bash"}));
    EXPECT_EQ(line.toolIds, (std::vector<ToolCall>{{"t1", "Read"}, {"t2", "Bash"}}));
    EXPECT_EQ(line.turn.chatSize(), 13000);
    EXPECT_DOUBLE_EQ(line.turn.weight(), 7000.0);
}

TEST(TurnParserTest, PreFilterIsLiteral) {
    // Valid JSON, but written with a blank after the colon: the byte filter turns it away.
    const std::string spaced =
        R"({"type": "assistant","timestamp":"2025-03-01T09:30:15.250Z","message":{"id":"m","usage":{"input_tokens":5}}})";
    EXPECT_FALSE(TurnParser::parse(spaced));
    // No "usage": bytes at all.
    EXPECT_FALSE(TurnParser::parse(
        R"({"type":"assistant","timestamp":"2025-03-01T09:30:15.250Z","message":{"id":"m"}})"));
    // The bytes only inside a text: passes the filter, but there is no usage object.
    EXPECT_FALSE(TurnParser::parse(
        R"({"type":"assistant","timestamp":"2025-03-01T09:30:15.250Z","message":{"id":"m","content":[{"type":"text","text":"\"usage\":"}]}})"));
    // A plain prompt, and one that only mentions "tool_result" in its text.
    EXPECT_FALSE(TurnParser::parse(
        R"({"type":"user","timestamp":"2025-03-01T09:30:15.250Z","message":{"content":"hello"}})"));
    EXPECT_FALSE(TurnParser::parse(
        R"({"type":"user","timestamp":"2025-03-01T09:30:15.250Z","message":{"content":"what is a \"tool_result\"?"}})"));
    EXPECT_TRUE(TurnParser::mayYield(R"("type":"assistant" "usage":)"));
    EXPECT_TRUE(TurnParser::mayYield(R"("type":"assistant" "tool_result")"));
    EXPECT_FALSE(TurnParser::mayYield(R"("type":"assistant")"));
}

TEST(TurnParserTest, TimestampNeedsAFractionAndHonoursOffsets) {
    Reply r;
    r.timestamp = "2025-03-01T09:30:15Z";
    EXPECT_FALSE(TurnParser::parse(replyLine(r)));
    r.timestamp = "2025-03-01T10:30:15.250+01:00";
    EXPECT_EQ(asTurn(TurnParser::parse(replyLine(r))).turn.time,
              *Timestamp::parse("2025-03-01T09:30:15.250Z"));
    r.timestamp = "yesterday";
    EXPECT_FALSE(TurnParser::parse(replyLine(r)));
}

TEST(TurnParserTest, SyntheticRepliesAreNotCountedAndMissingFieldsTakeDefaults) {
    Reply r;
    r.model = "<synthetic>";
    EXPECT_FALSE(TurnParser::parse(replyLine(r)));

    const auto bare = asTurn(TurnParser::parse(
        R"({"type":"assistant","timestamp":"2025-03-01T09:30:15.250Z","message":{"usage":{}}})"));
    EXPECT_EQ(bare.turn.model, "?");
    EXPECT_EQ(bare.turn.sessionId, "?");
    EXPECT_EQ(bare.turn.project, "?");
    EXPECT_EQ(bare.turn.entrypoint, "?");
    EXPECT_TRUE(bare.turn.tools.empty());
    // No message id and no request id: a key from the line itself, the same on every read,
    // and different for another line.
    EXPECT_EQ(bare.turn.key, "-:?@2025-03-01T09:30:15.250Z/0/0/0/0");
    const auto again = asTurn(TurnParser::parse(
        R"({"type":"assistant","timestamp":"2025-03-01T09:30:15.250Z","message":{"usage":{}}})"));
    EXPECT_EQ(bare.turn.key, again.turn.key);
    const auto other = asTurn(TurnParser::parse(
        R"({"type":"assistant","timestamp":"2025-03-01T09:30:15.250Z","message":{"usage":{"output_tokens":7}}})"));
    EXPECT_NE(bare.turn.key, other.turn.key);
    // The request id alone identifies a streamed reply's lines.
    const auto byRequest = asTurn(TurnParser::parse(
        R"({"type":"assistant","requestId":"R","timestamp":"2025-03-01T09:30:15.250Z","message":{"usage":{"output_tokens":7}}})"));
    EXPECT_EQ(byRequest.turn.key, "-:R");

    const auto noRequest = asTurn(TurnParser::parse(
        R"({"type":"assistant","timestamp":"2025-03-01T09:30:15.250Z","message":{"id":"M","usage":{}}})"));
    EXPECT_EQ(noRequest.turn.key, "M:");
}

TEST(TurnParserTest, ReadsFastModeUsOnlyWebSearchesAndCacheWriteParts) {
    const auto line = [](const std::string& usage) {
        return R"({"type":"assistant","timestamp":"2025-03-01T09:30:15.250Z","message":{"id":"m","usage":)" +
               usage + "}}";
    };
    const auto t = asTurn(TurnParser::parse(line(
        R"({"input_tokens":10,"cache_creation_input_tokens":0,"cache_creation":{"ephemeral_5m_input_tokens":300,"ephemeral_1h_input_tokens":200},"speed":"fast","inference_geo":"us","server_tool_use":{"web_search_requests":3,"web_fetch_requests":2}})")));
    // A total of 0 beside right parts: the parts count.
    EXPECT_EQ(t.turn.cacheWrite, 500);
    EXPECT_EQ(t.turn.cacheWrite1h, 200);
    EXPECT_TRUE(t.turn.fast);
    EXPECT_TRUE(t.turn.usOnly);
    EXPECT_EQ(t.turn.webSearches, 3);

    // The larger of the total and the parts; the hour part never above the total.
    const auto plain = asTurn(TurnParser::parse(line(
        R"({"cache_creation_input_tokens":900,"cache_creation":{"ephemeral_5m_input_tokens":-5,"ephemeral_1h_input_tokens":2000},"speed":"standard","inference_geo":"global","server_tool_use":{"web_search_requests":"3"}})")));
    EXPECT_EQ(plain.turn.cacheWrite, 2000);
    EXPECT_EQ(plain.turn.cacheWrite1h, 2000);
    EXPECT_FALSE(plain.turn.fast);
    EXPECT_FALSE(plain.turn.usOnly);
    EXPECT_EQ(plain.turn.webSearches, 0);

    // Without parts the total stays as written, even below zero, as the whole-document decoder
    // had it (found by the fuzzer: the parts used to count as zeros there).
    const std::string alone = line(R"({"cache_creation_input_tokens":-20,"output_tokens":620})");
    EXPECT_EQ(asTurn(TurnParser::parse(alone)).turn.cacheWrite, -20);
    EXPECT_TRUE(dom_reference::agree(TurnParser::parse(alone), dom_reference::parse(alone)));
    const std::string notAnObject =
        line(R"({"cache_creation_input_tokens":-20,"cache_creation":[1,2]})");
    EXPECT_EQ(asTurn(TurnParser::parse(notAnObject)).turn.cacheWrite, -20);

    // A streamed reply: the largest count of each line, fast when any line says so.
    Turn merged = plain.turn;
    merged.absorb(Turn(t.turn));
    EXPECT_EQ(merged.webSearches, 3);
    EXPECT_TRUE(merged.fast);
    EXPECT_TRUE(merged.usOnly);
    EXPECT_EQ(merged.cacheWrite, 2000);
}

TEST(TurnParserTest, OnlyIntegralCountsInRangeCount) {
    const auto line = [](const std::string& usage) {
        return R"({"type":"assistant","timestamp":"2025-03-01T09:30:15.250Z","message":{"id":"m","usage":)" +
               usage + "}}";
    };
    const auto t = asTurn(TurnParser::parse(line(
        R"({"input_tokens":"12","cache_read_input_tokens":12.5,"cache_creation_input_tokens":12.0,"output_tokens":true})")));
    EXPECT_EQ(t.turn.input, 0);
    EXPECT_EQ(t.turn.cacheRead, 0);
    EXPECT_EQ(t.turn.cacheWrite, 12);
    EXPECT_EQ(t.turn.output, 0);
    const auto big = asTurn(TurnParser::parse(line(
        R"({"input_tokens":9223372036854775807,"cache_read_input_tokens":9223372036854775808,"cache_creation_input_tokens":1e19,"output_tokens":-3})")));
    EXPECT_EQ(big.turn.input, INT64_MAX);
    EXPECT_EQ(big.turn.cacheRead, 0);
    EXPECT_EQ(big.turn.cacheWrite, 0);
    EXPECT_EQ(big.turn.output, -3);
    EXPECT_EQ(big.turn.chatSize(), INT64_MAX);
    // Integers beyond 64 bits make the whole line malformed JSON for the decoder.
    EXPECT_FALSE(TurnParser::parse(line(R"({"input_tokens":18446744073709551616})")));
}

TEST(TurnParserTest, ToolCallsWithoutIdOrNameAreDropped) {
    const auto t = asTurn(TurnParser::parse(
        R"({"type":"assistant","timestamp":"2025-03-01T09:30:15.250Z","message":{"id":"m","usage":{},"content":[{"type":"tool_use","id":"a"},{"type":"tool_use","name":"Grep"},{"type":"text","text":"hi"},{"type":"tool_use","id":"b","name":"Grep"},"junk"]}})"));
    EXPECT_EQ(t.turn.tools, std::vector<Name>{"Grep"});
    EXPECT_EQ(t.toolIds, (std::vector<ToolCall>{{"b", "Grep"}}));
}

TEST(TurnParserTest, EstimatesToolResultsFromTextAndParts) {
    EXPECT_EQ(asResults(TurnParser::parse(userWithContent(R"("0123456789")"))).results[0].tokens,
              2);
    EXPECT_EQ(asResults(TurnParser::parse(userWithContent(R"("abc")"))).results[0].tokens, 0);
    // Counted on the decoded text: an escaped é is 2 bytes, an escaped line break 1.
    EXPECT_EQ(asResults(TurnParser::parse(userWithContent(R"("\u00e9\u00e9\n\n\n\n")")))
                  .results[0]
                  .tokens,
              2);
    // Each part is divided by itself: 7/4 + 7/4 = 2, not 14/4.
    EXPECT_EQ(
        asResults(TurnParser::parse(userWithContent(
                      R"([{"type":"text","text":"1234567"},{"type":"text","text":"1234567"}])")))
            .results[0]
            .tokens,
        2);
    EXPECT_EQ(
        asResults(TurnParser::parse(userWithContent(
                      R"([{"type":"image","source":{"data":"AAAA"}},{"type":"text","text":")" +
                      std::string(40, 'x') + R"("},{"type":"other"},{"text":"no type"}])")))
            .results[0]
            .tokens,
        1610);
    EXPECT_EQ(asResults(TurnParser::parse(userWithContent("42"))).results[0].tokens, 0);
}

TEST(TurnParserTest, UserRecordsNeedAToolUseId) {
    EXPECT_FALSE(TurnParser::parse(
        R"({"type":"user","timestamp":"2025-03-01T09:30:15.250Z","message":{"content":[{"type":"tool_result","content":"x"}]}})"));
    const auto& r = asResults(
        TurnParser::parse(resultLine("s9", "2025-03-01T09:30:15.250Z", {{"a", 8}, {"b", 400}})));
    EXPECT_EQ(r.sessionId, "s9");
    EXPECT_EQ(r.results, (std::vector<ResultsLine::Result>{{"a", 2}, {"b", 100}}));
}

TEST(TurnParserTest, MalformedOrOddTopLevelsYieldNothing) {
    for (
        const std::string& bad : std::vector<std::string>{
            R"([{"type":"assistant","usage":{}}])", R"({})", R"({"type":"assistant","usage":)",
            R"({"type":"tool_result"} {"type":"tool_result"})",
            R"({"type":"other","timestamp":"2025-03-01T09:30:15.250Z","message":{"usage":{}},"x":"tool_result"})",
            "\xef\xbb\xbf" + replyLine({}), replyLine({}) + ",",
            std::string("\x00\x01 tool_result", 14)}) {
        EXPECT_FALSE(TurnParser::parse(bad)) << bad;
    }
    // A trailing carriage return is white space to the decoder.
    EXPECT_TRUE(TurnParser::parse(replyLine({}) + "\r"));
}

TEST(TimestampTest, ParsesStrictRfc3339) {
    const auto t = Timestamp::parse("2025-03-01T09:30:15.250Z");
    ASSERT_TRUE(t);
    EXPECT_EQ(t->time_since_epoch().count(), 1740821415250000);
    EXPECT_EQ(Timestamp::parse("2025-03-01T09:30:15.123456789Z")->time_since_epoch().count() %
                  1000000,
              123456);
    EXPECT_EQ(*Timestamp::parse("2025-03-01T04:00:15.250-05:30"),
              *Timestamp::parse("2025-03-01T09:30:15.250Z"));
    EXPECT_TRUE(Timestamp::parse("2024-02-29T00:00:00.0Z"));
    for (const char* bad :
         {"2025-02-29T00:00:00.0Z", "2025-13-01T00:00:00.0Z", "2025-03-01T24:00:00.0Z",
          "2025-03-01T09:30:15.Z", "2025-03-01T09:30:15.250", "2025-03-01 09:30:15.250Z",
          "2025-03-01T09:30:15.250+1:00", "2025-03-01T09:30:15.250Z ", "", "2025"}) {
        EXPECT_FALSE(Timestamp::parse(bad)) << bad;
    }
}

TEST(TimestampTest, FormatsUtcWithMilliseconds) {
    EXPECT_EQ(Timestamp::format(*Timestamp::parse("2025-03-01T10:30:15.250999+01:00")),
              "2025-03-01T09:30:15.250Z");
    EXPECT_EQ(Timestamp::format(*Timestamp::parse("1969-12-31T23:59:59.5Z")),
              "1969-12-31T23:59:59.500Z");
    EXPECT_EQ(Timestamp::format(kDistantPast), "0000-01-01T00:00:00.000Z");
    EXPECT_EQ(Timestamp::format(kDistantFuture), "9999-12-31T23:59:59.999Z");
}

namespace {

// Lines shaped like the assistant's, with the members the parser reads in odd places too.
std::vector<std::string> shapedLines() {
    Reply r;
    r.tools = {{"t1", "Read"}, {"t2", "Bash"}};
    r.cacheRead = 20000;
    r.cacheWrite = 300;
    std::vector<std::string> lines = {
        replyLine(r),
        resultLine("s1", "2025-03-01T09:30:15.250Z", {{"t1", 300}, {"t2", 9}}),
        // Type after the message, a usage with nested and future members, escapes in keys and
        // values, a thinking block, the output of a tool twice.
        R"({"parentUuid":"p","cwd":"/w/\u00e9t\u00e9","sessionId":"s\"2","message":{"model":"claude-opus","id":"msg_9","content":[{"type":"thinking","thinking":"a\nb","signature":"QUJD"},{"type":"tool_use","id":"tu\\1","name":"Gr\u0065p","input":{"pattern":"x","-n":true,"head_limit":null,"n":[1,2.5e3,-0]}}],"usage":{"input_tokens":3,"cache_creation_input_tokens":900,"cache_read_input_tokens":1e4,"cache_creation":{"ephemeral_5m_input_tokens":100,"ephemeral_1h_input_tokens":800},"output_tokens":12,"service_tier":"standard","server_tool_use":{"web_search_requests":2},"speed":"fast"}},"requestId":"req_9","type":"assistant","uuid":"u","timestamp":"2025-03-01T09:30:15.250Z","entrypoint":"cli"})",
        R"({"type":"user","message":{"role":"user","content":[{"content":[{"text":"\ud83d\ude80 done\n","type":"text"},{"type":"image","source":{"data":"AAAA"}}],"type":"tool_result","tool_use_id":"tu\\1","is_error":false}]},"timestamp":"2025-03-01T09:30:16.000Z","toolUseResult":{"stdout":"\ud83d\ude80 done\n","stderr":"","interrupted":false}})",
        // Repeated keys: the first counts.
        R"({"type":"assistant","type":"user","timestamp":"2025-03-01T09:30:15.250Z","timestamp":7,"message":{"id":"m","id":"n","usage":{"output_tokens":"5","output_tokens":5}},"message":[]})",
    };
    return lines;
}

} // namespace

TEST(TurnParserTest, MakesTheSameRecordsAsAWholeDocumentDecoderOnMangledLines) {
    // Every line, and thousands of damaged copies of it, must give what decoding the whole line
    // into a tree gave: the same record, or nothing for a line that is not valid JSON.
    const std::string inserts[] = {
        "\"",   "\\",  "{",       "}",     "[",    "]",    ",",
        ":",    "0",   "e",       "-",     "u",    " ",    "t",
        "n",    "\\u", "\\ud800", "1e999", "\x01", "\xc3", "99999999999999999999",
        "true", "nul"};
    std::mt19937 rng(3);
    int agreed = 0, yielded = 0;
    for (const auto& base : shapedLines()) {
        ASSERT_TRUE(dom_reference::agree(TurnParser::parse(base), dom_reference::parse(base)))
            << base;
        ASSERT_TRUE(TurnParser::parse(base)) << base;
        for (int i = 0; i < 6000; ++i) {
            std::string line = base;
            const int edits = 1 + static_cast<int>(rng() % 3);
            for (int e = 0; e < edits && !line.empty(); ++e) {
                const std::size_t at = rng() % line.size();
                switch (rng() % 4) {
                case 0:
                    line.insert(at, inserts[rng() % std::size(inserts)]);
                    break;
                case 1:
                    line.erase(at, 1 + rng() % 3);
                    break;
                case 2:
                    line[at] = inserts[rng() % std::size(inserts)][0];
                    break;
                default:
                    line.resize(at);
                }
            }
            const auto parsed = TurnParser::parse(line);
            ASSERT_TRUE(dom_reference::agree(parsed, dom_reference::parse(line))) << line;
            ++agreed;
            yielded += parsed.has_value();
        }
    }
    EXPECT_EQ(agreed, 30000);
    EXPECT_GT(yielded, 1000); // damage that leaves valid JSON is read, not just rejected
}
