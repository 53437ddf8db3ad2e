#pragma once

#include "SqliteDatabase.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vellumkite {

// The prompt sizes at which the history keeps its sums apart. A reply's price band depends on
// its own prompt against its model's threshold, so the quarter-hour sums are kept per prompt
// class: a reply falls in the class of the largest boundary below its prompt. Every threshold a
// price book has ever named becomes a boundary, and the sums are rebuilt from the replies when
// one is added, so that any book prices every class on one side of its thresholds, exactly.
struct PromptBands {
    // Boundaries beyond these many are not added: such a book's straddled classes stay unpriced.
    static constexpr std::size_t kMost = 64;

    // The boundaries, ascending; nothing when the database could not answer.
    static std::optional<std::vector<std::int64_t>> read(const SqliteDatabase& db);
    // The class of `row` (a reply's columns under that name, e.g. "new" or "r"): the largest
    // boundary below its prompt, or 0.
    static std::string floorOf(const std::vector<std::int64_t>& bands, const std::string& row);
    // The class of a prompt of this size.
    static std::int64_t floorOf(const std::vector<std::int64_t>& bands, std::int64_t prompt);
    // The largest prompt of the class with this floor; nothing for the last class.
    static std::optional<std::int64_t> ceilingOf(const std::vector<std::int64_t>& bands,
                                                 std::int64_t floor);

    // Adds the thresholds that are not boundaries yet and rebuilds the sums; true when there
    // was nothing to add or it was done.
    static bool splitAt(const SqliteDatabase& db, const std::vector<std::int64_t>& thresholds);
    // Sums the replies (this machine's and, once kept, the other machines') anew into the
    // quarter-hour tables, makes the triggers that keep them with these boundaries, and drops
    // the sums per local day. Inside the caller's write transaction.
    static bool rebuild(const SqliteDatabase& db, const std::vector<std::int64_t>& bands);
    // The triggers alone, for the tables there are, the sums left as they are.
    static bool makeTriggers(const SqliteDatabase& db, const std::vector<std::int64_t>& bands);
};

} // namespace vellumkite
