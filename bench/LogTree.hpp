#pragma once

#include "RandomUuid.hpp"
#include "Time.hpp"

#include <cstdint>
#include <filesystem>
#include <random>
#include <string>

namespace vellumkite::bench {

// Writes a realistic tree of chat logs: many sessions in project folders, replies streamed as
// several lines sharing a message id (the same input and cache counts on each, a provisional
// output count on all but the last), tool results of 1-60 KB of text, some image parts of
// 50-400 KB of base64, and the prompts and bookkeeping lines that the parser turns away.
class LogTree {
public:
    LogTree(std::filesystem::path root, std::uint64_t seed = 42);

    // Appends to `files` session files until about `bytes` have been written; line times
    // spread over the `days` before `now`.
    void generate(std::uint64_t bytes, int files, Instant now, int days = 7);

    // Appends one exchange (a reply in several lines and its tool results) to a file.
    std::size_t appendExchange(const std::filesystem::path& file, const std::string& session,
                               Instant time, bool withResults = true);

    // Heavy use in few bytes: `exchanges` replies of one line, each with one tool call and its
    // small result, spread over the `days` before `now`.
    void generateLight(int exchanges, int files, Instant now, double days);

    // The token counts of one reply.
    struct Usage {
        std::uint64_t input = 0, cacheRead = 0, cacheWrite = 0, cacheWrite1h = 0, output = 0;
    };
    Usage randomUsage();

    // One line of each kind, for other uses (fuzzing seeds). Part 0 is the reply's text, later
    // parts its tool calls.
    std::string replyLine(const std::string& session, const std::string& messageId, Instant time,
                          const std::string& toolId, const std::string& toolName, int part,
                          const Usage& usage);
    std::string resultLine(const std::string& session, Instant time, const std::string& toolId,
                           std::size_t textBytes, std::size_t imageBytes);
    std::string promptLine(const std::string& session, Instant time);

    const std::filesystem::path& root() const { return root_; }

private:
    std::string uuid() { return randomUuid(rng_); }
    std::filesystem::path root_;
    std::mt19937_64 rng_;
    std::uint64_t counter_ = 0;
};

} // namespace vellumkite::bench
