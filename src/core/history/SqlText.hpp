#pragma once

#include <string>
#include <string_view>

namespace vellumkite {

// SQL made from templates: placeholders (@NAME@) filled in, and the counts that replies and the
// tables of their sums keep, each list written once.
struct SqlText {
    // Every `from` in `text` replaced by `to`.
    static std::string replace(std::string text, std::string_view from, std::string_view to);

    // The placeholders of the counts filled in. Of a table of sums (quarters and the like: six
    // counts, then replies):
    //   @SUM_COLUMNS@   each count's column, then replies, as a table defines them
    //   @SUM_ADDED@     each count and replies plus those of the row that conflicted
    //   @SUM_GROWN@     each count plus new's less old's (a reply whose counts grew)
    //   @SUM_TAKEN@     each count less @ROW@'s, and replies less one
    //   @ROW_SUMS@      @ROW@'s counts, in the order of the columns
    //   @SUMMED@        the sum of each count over a group, then how many rows
    // Of a reply (its counts, then fast, US-only and web searches):
    //   @KEEP_LARGEST@  an upsert's SET and WHERE that keeps the largest of each, and leaves a
    //                   reply read again unchanged alone
    // @ROW@ is left for the caller: `new`, `old` or a table's alias.
    static std::string withCounts(std::string text);
};

} // namespace vellumkite
