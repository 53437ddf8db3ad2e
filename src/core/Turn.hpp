#pragma once

#include "Time.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace vellumkite {

// One reply of the assistant: its token usage and the tools it called.
struct Turn {
    std::string key;       // message id ":" request id; lines with the same key are one reply
    std::string sessionId; // "?" when the line has none
    std::string project;   // the chat's working directory, "?" when absent
    Instant time;
    std::string model;      // "?" when absent
    std::string entrypoint; // "?" when absent
    std::int64_t input = 0;
    std::int64_t cacheRead = 0;
    std::int64_t cacheWrite = 0;
    std::int64_t output = 0;
    std::vector<std::string> tools; // appended to when later lines of the same reply arrive

    // How much of the chat the assistant took in for this reply (saturating).
    std::int64_t chatSize() const;
    // The one cost unit: cache reads count a tenth, cache writes a quarter more, output five times.
    double weight() const;
};

// The estimated size of one tool's output.
struct ToolResult {
    std::string sessionId;
    Instant time;
    std::string tool; // "?" when the call was never seen
    std::int64_t tokens = 0;
};

} // namespace vellumkite
