#pragma once

#include "Time.hpp"

#include <cstddef>
#include <filesystem>

namespace vellumkite {

class History;

// Takes the status line's journal of limit readings into the history, its read position kept
// like a log's, and starts the journal afresh once it is large and wholly in the history. A
// reading read twice is kept once, so reading a line again never counts it twice.
struct LimitJournalImport {
    // A journal set aside is removed once it was read whole and left alone this long: a status
    // line that opened it before it was moved has written by then.
    static constexpr double kSetAsideSeconds = 60;

    // Takes the readings of the journal and of one set aside that the history has not read yet
    // into its pass, and moves their positions; a line no true reading has is passed over.
    // Returns how many readings were taken.
    static std::size_t read(History& history, const std::filesystem::path& journal);

    // After the pass that read them was written: sets a journal over LimitJournal's
    // kFreshStartSize aside once every line of it is in, so the status line begins a new one,
    // and removes a set-aside journal that is wholly in. The moved position is written with the
    // next pass.
    static void tidy(History& history, const std::filesystem::path& journal, Instant now);
};

} // namespace vellumkite
