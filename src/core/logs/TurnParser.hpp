#pragma once

#include "Turn.hpp"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace vellumkite {

// A tool call of a reply: the call's id and the tool's name.
struct ToolCall {
    std::string id;
    Name name;
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
    Name sessionId;
    Instant time;
    std::vector<Result> results;
};

using ParsedLine = std::variant<TurnLine, ResultsLine>;

// Turns one line of a chat log into at most one record. Every other line yields nothing, and so
// does every line that is not valid JSON as a whole.
struct TurnParser {
    // Readable bytes the parser needs after a line that it parses in place.
    static constexpr std::size_t kPadding = 64;
    // Lines longer than this yield nothing; the parser never grows past it.
    static constexpr std::size_t kMaxLineLength = std::size_t{64} << 20;

    // What parsing reuses from one line to the next (the decoder and its buffers); one per
    // thread.
    class Buffers {
    public:
        Buffers();
        ~Buffers();
        Buffers(const Buffers&) = delete;
        Buffers& operator=(const Buffers&) = delete;
        // The longest line the buffers hold room for.
        std::size_t capacity() const;
        // Gives back memory grown for a long line.
        void release();

    private:
        friend struct TurnParser;
        struct Impl;
        std::unique_ptr<Impl> impl_;
    };

    // The byte pre-filter that keeps most lines away from the JSON decoder.
    static bool mayYield(std::string_view line);

    // Parses in place: `line.data() + line.size()` must be followed by kPadding readable bytes.
    static std::optional<ParsedLine> parsePadded(Buffers& buffers, std::string_view line);

    // Convenience for single lines: copies into a padded buffer and uses per-thread buffers.
    static std::optional<ParsedLine> parse(std::string_view line);
};

} // namespace vellumkite
