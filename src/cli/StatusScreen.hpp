#pragma once

#include "Snapshot.hpp"
#include "Thresholds.hpp"
#include "Time.hpp"

#include <string>
#include <string_view>
#include <vector>

namespace vellumkite {

// The status screen: the terminal form of the menu popover: the same sections, texts and number
// forms, laid out in lines of fixed-width text.
struct StatusScreen {
    struct Style {
        bool colour = false; // ANSI colours and bold/dim; off for pipes and NO_COLOR
        int width = 64;      // right-hand columns end here; long texts wrap here
    };

    static std::string render(const Snapshot& snapshot, const Thresholds& thresholds, Instant now,
                              const Style& style);

    // "86k re-read every message", or "No chats in the last week." without a current chat.
    static std::string chatText(const Snapshot& snapshot);

    // One block character per value, its height value / max(1, largest value) in eighths.
    static std::string sparkline(const std::vector<double>& values);

    // Terminal columns of UTF-8 text, counted as one per code point.
    static std::size_t columns(std::string_view text);
    // The first n columns of the text, with "…" in the last one when some is cut off.
    static std::string fit(const std::string& text, std::size_t n);
};

} // namespace vellumkite
