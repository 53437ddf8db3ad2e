#pragma once

#include "Name.hpp"
#include "Time.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace vellumkite {

// One reply of the assistant: its token usage and the tools it called.
struct Turn {
    std::string key; // message id ":" request id; lines with the same key are one reply
    Name sessionId;  // "?" when the line has none
    Name project;    // the chat's working directory, "?" when absent
    Instant time;
    Name model;      // "?" when absent
    Name entrypoint; // "?" when absent
    std::int64_t input = 0;
    std::int64_t cacheRead = 0;
    std::int64_t cacheWrite = 0;
    std::int64_t output = 0;
    std::int64_t cacheWrite1h = 0; // the part of cacheWrite kept for an hour; the rest for 5 min
    std::int64_t webSearches = 0;  // server-side web searches the reply made
    bool fast = false;             // answered in fast mode
    bool usOnly = false;           // inference kept in the United States
    std::vector<Name> tools;       // appended to when later lines of the same reply arrive

    // How much of the chat the assistant took in for this reply (saturating).
    std::int64_t chatSize() const;
    // The one cost unit: cache reads count a tenth, cache writes a quarter more, output five times.
    double weight() const;

    // Takes in another line of the same reply. A streamed reply repeats its input and cache
    // counts on every line but has its final output only on the last, earlier lines carrying a
    // provisional one: each count keeps its largest value, whatever order the lines come in.
    // The first line's model, time, session and project stay; tool names are appended; fast mode
    // and US-only inference hold when any line says so.
    void absorb(Turn&& line);
};

// The estimated size of one tool's output.
struct ToolResult {
    Name sessionId;
    Instant time;
    Name tool; // "?" when the call was never seen
    std::int64_t tokens = 0;
};

} // namespace vellumkite
