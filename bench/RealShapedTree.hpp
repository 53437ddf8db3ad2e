#pragma once

#include "RandomUuid.hpp"
#include "Time.hpp"

#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace vellumkite::bench {

// Writes a log tree shaped like a heavy user's week, as the assistant lays it out: chats of very
// unequal sizes (a few logs of hundreds of MB, a long tail of small ones), subagents in
// <session>/subagents/agent-<id>.jsonl and <session>/subagents/workflows/wf_<id>/agent-<id>.jsonl,
// replies streamed as one line per content block (thinking, text, tool calls), mostly 1-hour
// cache writes, tool results of a heavy-tailed size (most a few KB, a few of several MB) whose
// text the line carries twice (in the message and in toolUseResult), code-like text with escapes
// and multi-byte characters, screenshots, and the prompts, snapshots and system lines that the
// parser turns away. The same seed gives the same tree.
class RealShapedTree {
public:
    explicit RealShapedTree(std::filesystem::path projects, std::uint64_t seed = 2027);

    struct Summary {
        std::size_t logs = 0;
        std::uint64_t bytes = 0;
        std::uint64_t largestLog = 0;
        std::size_t replies = 0; // distinct message ids
        std::size_t results = 0;
    };

    // About `bytes` of logs, every line within the `days` before `now`.
    Summary generate(std::uint64_t bytes, Instant now, int days = 7);

private:
    struct Log;

    void writeLog(const Log& log, Instant now);
    std::string exchange(const Log& log, Instant time);
    std::string replyLine(const Log& log, const std::string& messageId,
                          const std::string& requestId, const std::string& block,
                          const std::string& usage, Instant time);
    std::string resultLine(const Log& log, const std::string& toolId, const std::string& tool,
                           Instant time);
    std::string otherLine(const Log& log, Instant time);
    std::string head(const Log& log, const std::string& parent);

    // A slice of code-like text, already escaped for a JSON string, of about `bytes` bytes.
    std::string_view text(std::size_t bytes);
    std::size_t resultSize();
    std::string base64(std::size_t bytes);
    std::string id(std::string_view prefix, std::size_t length);
    std::string uuid() { return randomUuid(rng_); }

    std::filesystem::path projects_;
    std::mt19937_64 rng_;
    std::string pool_;                    // escaped text, cut only at line starts
    std::vector<std::size_t> lineStarts_; // in pool_
    std::string lastUuid_;
    std::string version_ = "2.0.14";
    std::uint64_t calls_ = 0;
    Summary summary_;
};

} // namespace vellumkite::bench
