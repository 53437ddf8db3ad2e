#pragma once

// Builders for chat-log lines as the assistant writes them, for tests and the benchmark.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace vellumkite::testing {

struct Reply {
    std::string messageId = "msg_1";
    std::string requestId = "req_1";
    std::string sessionId = "s1";
    std::string cwd = "/home/you/project";
    std::string timestamp = "2025-03-01T09:30:15.250Z";
    std::string model = "claude-sonnet";
    std::int64_t input = 10, cacheRead = 0, cacheWrite = 0, output = 5;
    std::vector<std::pair<std::string, std::string>> tools; // (id, name)
    // More members of "usage", e.g. R"("speed":"fast","inference_geo":"us")".
    std::string usageExtra;
};

inline std::string replyLine(const Reply& r) {
    std::string content = "[";
    for (std::size_t i = 0; i < r.tools.size(); ++i) {
        if (i)
            content += ',';
        content += R"({"type":"tool_use","id":")" + r.tools[i].first + R"(","name":")" +
                   r.tools[i].second + R"(","input":{}})";
    }
    content += "]";
    return R"({"parentUuid":"p","isSidechain":false,"cwd":")" + r.cwd + R"(","sessionId":")" +
           r.sessionId +
           R"(","version":"1.0","entrypoint":"cli","type":"assistant","message":{"id":")" +
           r.messageId + R"(","type":"message","role":"assistant","model":")" + r.model +
           R"(","content":)" + content + R"(,"stop_reason":null,"usage":{"input_tokens":)" +
           std::to_string(r.input) + R"(,"cache_creation_input_tokens":)" +
           std::to_string(r.cacheWrite) + R"(,"cache_read_input_tokens":)" +
           std::to_string(r.cacheRead) + R"(,"output_tokens":)" + std::to_string(r.output) +
           (r.usageExtra.empty() ? "" : "," + r.usageExtra) + R"(}},"requestId":")" + r.requestId +
           R"(","timestamp":")" + r.timestamp + R"("})";
}

// One reply of plain input tokens at each time, numbered from 1: a steady burn of known weight.
inline std::string steadyReplies(const std::vector<std::string>& timestamps,
                                 const std::string& model, std::int64_t input) {
    std::string out;
    for (std::size_t i = 0; i < timestamps.size(); ++i) {
        Reply r;
        r.messageId = "msg_" + std::to_string(i + 1);
        r.requestId = "req_" + std::to_string(i + 1);
        r.model = model;
        r.timestamp = timestamps[i];
        r.input = input;
        r.output = 0;
        out += replyLine(r) + "\n";
    }
    return out;
}

// A user record carrying tool results whose content is plain text of the given byte counts.
inline std::string resultLine(const std::string& sessionId, const std::string& timestamp,
                              const std::vector<std::pair<std::string, std::size_t>>& results) {
    std::string content = "[";
    for (std::size_t i = 0; i < results.size(); ++i) {
        if (i)
            content += ',';
        content += R"({"tool_use_id":")" + results[i].first +
                   R"(","type":"tool_result","content":")" + std::string(results[i].second, 'x') +
                   R"("})";
    }
    content += "]";
    return R"({"parentUuid":"p","cwd":"/home/you/project","sessionId":")" + sessionId +
           R"(","type":"user","message":{"role":"user","content":)" + content +
           R"(},"timestamp":")" + timestamp + R"("})";
}

} // namespace vellumkite::testing
