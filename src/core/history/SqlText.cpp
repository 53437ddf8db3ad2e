#include "SqlText.hpp"

#include "SqliteStatement.hpp"

#include <array>

namespace vellumkite {

namespace {

// A table of sums keeps these, in this order, then the number of replies.
constexpr std::array<std::string_view, 6> kSums = {"input",          "output",     "cache_write",
                                                   "cache_write_1h", "cache_read", "web_searches"};
// A reply's counts as the first schema defined them.
constexpr std::array<std::string_view, 5> kFirstCounts = {"input", "cache_read", "cache_write",
                                                          "cache_write_1h", "output"};
// What a reply keeps that only grows as its lines are read.
constexpr std::array<std::string_view, 8> kReply = {"input",          "cache_read",  "cache_write",
                                                    "cache_write_1h", "output",      "fast",
                                                    "us_only",        "web_searches"};

// Each column through `pattern` (@C@ standing for it), joined by `glue`.
template <std::size_t N>
std::string each(const std::array<std::string_view, N>& columns, std::string_view pattern,
                 std::string_view glue) {
    std::string out;
    for (const auto column : columns) {
        if (!out.empty())
            out += glue;
        out += SqlText::replace(std::string(pattern), "@C@", column);
    }
    return out;
}

} // namespace

std::string SqlText::replace(std::string text, std::string_view from, std::string_view to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

std::string SqlText::withCounts(std::string text) {
    const struct {
        std::string_view name;
        std::string text;
    } fills[] = {
        {"@CLASS_SUMS@", "model INTEGER NOT NULL REFERENCES names(id),\n    "
                         "fast INTEGER NOT NULL,\n    us_only INTEGER NOT NULL,\n    "
                         "prompt_floor INTEGER NOT NULL,\n    @SUM_COLUMNS@"},
        {"@SUM_COLUMNS@",
         each(kSums, "@C@ INTEGER NOT NULL", ",\n    ") + ",\n    replies INTEGER NOT NULL"},
        {"@SUM_ADDED@", each(kSums, "@C@ = @C@ + excluded.@C@", ",\n        ") +
                            ",\n        replies = replies + excluded.replies"},
        {"@SUM_GROWN@", each(kSums, "@C@ = @C@ + new.@C@ - old.@C@", ",\n        ")},
        {"@SUM_TAKEN@",
         each(kSums, "@C@ = @C@ - @ROW@.@C@", ",\n        ") + ",\n        replies = replies - 1"},
        {"@ROW_SUMS@", each(kSums, "@ROW@.@C@", ", ")},
        {"@SUMMED@", each(kSums, "sum(@C@)", ", ") + ", count(*)"},
        {"@REPLY_COLUMNS@", "session INTEGER NOT NULL REFERENCES names(id),\n    "
                            "project INTEGER NOT NULL REFERENCES names(id),\n    "
                            "model INTEGER NOT NULL REFERENCES names(id),\n    " +
                                each(kFirstCounts, "@C@ INTEGER NOT NULL", ",\n    ")},
        {"@READING_COLUMNS@",
         "time INTEGER NOT NULL,\n    percent REAL NOT NULL,\n    resets_at INTEGER NOT NULL"},
        {"@KEEP_LARGEST@", each(kReply, "@C@ = max(@C@, excluded.@C@)", ",\n    ") + "\nWHERE " +
                               each(kReply, "excluded.@C@ > @C@", " OR ")},
    };
    for (const auto& f : fills)
        if (text.find(f.name) != std::string::npos)
            text = replace(std::move(text), f.name, f.text);
    return text;
}

UsageTotals SqlText::sumsAt(const SqliteStatement& row, int first) {
    UsageTotals u;
    u.input = row.integer(first);
    u.output = row.integer(first + 1);
    u.cacheWrite = row.integer(first + 2);
    u.cacheWrite1h = row.integer(first + 3);
    u.cacheRead = row.integer(first + 4);
    u.webSearches = row.integer(first + 5);
    u.replies = row.integer(first + 6);
    return u;
}

} // namespace vellumkite
