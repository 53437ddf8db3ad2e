#pragma once

#include "UsageTotals.hpp"

#include <string>
#include <string_view>

namespace vellumkite {

class SqliteStatement;

// SQL made from templates: placeholders (@NAME@) filled in, and the columns that replies, the
// tables of their sums and limit readings keep, each list written once.
struct SqlText {
    // Every `from` in `text` replaced by `to`.
    static std::string replace(std::string text, std::string_view from, std::string_view to);

    // The placeholders of the columns filled in. Of a table of sums (quarters and the like: six
    // counts, then replies):
    //   @SUM_COLUMNS@   each count's column, then replies, as a table defines them
    //   @CLASS_SUMS@    the model and price class (fast, US-only, the prompt band's floor),
    //                   then @SUM_COLUMNS@: a table of sums per price class
    //   @SUM_ADDED@     each count and replies plus those of the row that conflicted
    //   @SUM_GROWN@     each count plus new's less old's (a reply whose counts grew)
    //   @SUM_TAKEN@     each count less @ROW@'s, and replies less one
    //   @ROW_SUMS@      @ROW@'s counts, in the order of the columns
    //   @SUMMED@        the sum of each count over a group, then how many rows
    // Of a reply:
    //   @REPLY_COLUMNS@ its chat, project and model (in names), then the counts the first
    //                   schema gave it, as a table defines them: this machine's replies and the
    //                   other machines' alike, so that one query reads both. Part of the first
    //                   schema: a new count is a column that a version's step adds.
    //   @KEEP_LARGEST@  an upsert's SET and WHERE that keeps the largest of its counts, fast,
    //                   US-only and web searches, and leaves a reply read again unchanged alone
    // Of an official limit reading:
    //   @READING_COLUMNS@ when it was read, the percent used and when its window resets, as a
    //                   table defines them (the window's own column is the table's to name)
    // @ROW@ is left for the caller: `new`, `old` or a table's alias.
    static std::string withCounts(std::string text);

    // A row's sums, in the order of @SUM_COLUMNS@ and @SUMMED@ from column `first` on.
    static UsageTotals sumsAt(const SqliteStatement& row, int first);
};

} // namespace vellumkite
