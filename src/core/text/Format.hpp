#pragma once

#include "Time.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vellumkite {

// Short forms of counts, ages and countdowns shared by the title, the views and the terminal tool.
struct Format {
    // The one text shown for a value that has none: a percentage, rate or time that is not finite
    // or lies beyond the 64-bit range.
    static constexpr std::string_view kNoValue = "\u2014";

    // 950, 86k, 1.2M. No separators, the decimal point is always a point.
    static std::string tokens(std::int64_t n);
    // "now", "5m ago", "3h ago".
    static std::string ago(Instant t, Instant now);
    // "42m", "2h 5m", "3d 4h"; "0m" once the instant has passed.
    static std::string until(Instant t, Instant now);

    // Rounded to the nearest integer, halves away from zero; nothing when not finite or out of
    // range.
    static std::optional<std::int64_t> rounded(double value);
    // Truncated toward zero; nothing when not finite or out of range.
    static std::optional<std::int64_t> truncated(double value);
    // "35%" from 34.5, or kNoValue.
    static std::string percent(double value);
    // A small share of a limit: "≈ 0.9 %" (a tenth under 10, whole from there), "< 0.1 %" below
    // that, or kNoValue.
    static std::string percentApprox(double value);
    // A part's share of a total as "n%", the total never below 1.
    static std::string share(double part, double total);
    // Format::tokens of a rate truncated to an integer, or kNoValue.
    static std::string rate(double perMinute);
    // 1,234,567: whole numbers with thousands separators, for tables.
    static std::string grouped(std::int64_t n);
    // "$12.34", "$1,204.50"; kNoValue without a cost.
    static std::string dollars(std::optional<double> amount);
    // "$0.0066": to two significant figures below ten cents, else as dollars().
    static std::string smallDollars(std::optional<double> amount);
    // The text after the last slash, ignoring a trailing slash; the whole text if it has none.
    static std::string lastPathComponent(std::string_view path);
};

} // namespace vellumkite
