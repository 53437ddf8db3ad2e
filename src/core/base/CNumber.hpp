#pragma once

#include <cstddef>
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

    struct Prefix {
        double value;       // infinite when the number is too large to hold
        std::size_t length; // characters the number took
    };
    // The decimal number at the very start of the text ("12", "-0.5", "8e2"; no white space,
    // hexadecimal, "inf" or "nan"); nothing when the text does not start with one.
    static std::optional<Prefix> parsePrefix(std::string_view text);
};

} // namespace vellumkite
