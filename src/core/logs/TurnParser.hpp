#pragma once

#include "Turn.hpp"

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace simdjson::dom {
class parser;
}

namespace vellumkite {

// A tool call of a reply: the call's id and the tool's name.
struct ToolCall {
    std::string id;
    std::string name;
    bool operator==(const ToolCall&) const = default;
};

// An assistant reply with the tool calls it made, in content order.
struct TurnLine {
    Turn turn;
    std::vector<ToolCall> toolIds;
};

// The tool results of one user record, in content order; never empty.
struct ResultsLine {
    struct Result {
        std::string toolId;
        std::int64_t tokens = 0;
        bool operator==(const Result&) const = default;
    };
    std::string sessionId;
    Instant time;
    std::vector<Result> results;
};

using ParsedLine = std::variant<TurnLine, ResultsLine>;

// Turns one line of a chat log into at most one record. Every other line yields nothing.
struct TurnParser {
    // Readable bytes the parser needs after a line that it parses in place.
    static constexpr std::size_t kPadding = 64;
    // Lines longer than this yield nothing; the parser never grows past it.
    static constexpr std::size_t kMaxLineLength = std::size_t{64} << 20;

    // The byte pre-filter that keeps most lines away from the JSON decoder.
    static bool mayYield(std::string_view line);

    // Parses in place: `line.data() + line.size()` must be followed by kPadding readable bytes.
    // `parser` is reused across the lines of a pass.
    static std::optional<ParsedLine> parsePadded(simdjson::dom::parser& parser,
                                                 std::string_view line);

    // Convenience for single lines: copies into a padded buffer and uses a per-thread parser.
    static std::optional<ParsedLine> parse(std::string_view line);
};

} // namespace vellumkite
