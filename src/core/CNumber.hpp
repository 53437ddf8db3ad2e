#pragma once

#include <optional>
#include <string_view>

namespace vellumkite {

// Decimal numbers read the way the C locale writes them, whatever locale the process runs in:
// a desktop session with a decimal comma must not turn "0.25" into 0.
struct CNumber {
    // The whole text as one floating-point number; nothing when the text is empty, starts with
    // white space or has anything after the number.
    static std::optional<double> parseWhole(std::string_view text);
    // The number at the start of the text after any leading white space; 0 when there is none.
    static double parseLeading(std::string_view text);
};

} // namespace vellumkite
