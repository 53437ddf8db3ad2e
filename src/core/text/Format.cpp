#include "Format.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace vellumkite {

namespace {

// The largest double below 2^63; anything at or past 2^63 does not fit in an int64.
constexpr double kInt64Limit = 9223372036854775808.0;

std::optional<std::int64_t> minutesBetween(Instant from, Instant to) {
    std::int64_t diff;
    if (__builtin_sub_overflow(to.time_since_epoch().count(), from.time_since_epoch().count(),
                               &diff))
        return std::nullopt;
    return diff / 60'000'000; // truncates toward zero
}

} // namespace

std::string Format::tokens(std::int64_t n) {
    if (n >= 1'000'000) {
        // to_chars rounds like printf's "%.1f" but always writes a point, whatever the locale.
        char buf[64];
        const auto r =
            std::to_chars(buf, buf + sizeof buf - 1, static_cast<double>(n) / 1'000'000.0,
                          std::chars_format::fixed, 1);
        *r.ptr = 'M';
        return std::string(buf, r.ptr + 1);
    }
    if (n >= 1'000)
        return std::to_string(n / 1000) + "k";
    return std::to_string(n);
}

std::string Format::ago(Instant t, Instant now) {
    const auto m = minutesBetween(t, now);
    if (!m)
        return std::string(kNoValue);
    if (*m <= 0)
        return "now";
    if (*m <= 59)
        return std::to_string(*m) + "m ago";
    return std::to_string(*m / 60) + "h ago";
}

std::string Format::until(Instant t, Instant now) {
    const auto m = minutesBetween(now, t);
    if (!m)
        return std::string(kNoValue);
    if (*m < 0)
        return "0m";
    if (*m <= 59)
        return std::to_string(*m) + "m";
    if (*m <= 2879)
        return std::to_string(*m / 60) + "h " + std::to_string(*m % 60) + "m";
    return std::to_string(*m / 1440) + "d " + std::to_string((*m % 1440) / 60) + "h";
}

std::optional<std::int64_t> Format::rounded(double value) {
    if (!std::isfinite(value))
        return std::nullopt;
    const double r = std::round(value); // halves away from zero
    if (r >= kInt64Limit || r < -kInt64Limit)
        return std::nullopt;
    return static_cast<std::int64_t>(r);
}

std::optional<std::int64_t> Format::truncated(double value) {
    if (!std::isfinite(value))
        return std::nullopt;
    const double r = std::trunc(value);
    if (r >= kInt64Limit || r < -kInt64Limit)
        return std::nullopt;
    return static_cast<std::int64_t>(r);
}

std::string Format::percent(double value) {
    const auto n = rounded(value);
    return n ? std::to_string(*n) + "%" : std::string(kNoValue);
}

std::string Format::percentApprox(double value) {
    if (!std::isfinite(value) || value < 0)
        return std::string(kNoValue);
    const auto tenths = rounded(value * 10);
    if (!tenths)
        return std::string(kNoValue);
    if (*tenths < 1)
        return "< 0.1 %";
    if (*tenths < 100)
        return "\u2248 " + std::to_string(*tenths / 10) + "." + std::to_string(*tenths % 10) + " %";
    return "\u2248 " + std::to_string(*rounded(value)) + " %";
}

std::string Format::share(double part, double total) {
    return percent(part / std::max(1.0, total) * 100.0);
}

std::string Format::rate(double perMinute) {
    const auto n = truncated(perMinute);
    return n ? tokens(*n) : std::string(kNoValue);
}

std::string Format::grouped(std::int64_t n) {
    const bool negative = n < 0;
    // Through unsigned, so that the most negative value has a magnitude too.
    std::string digits = std::to_string(negative ? 0 - static_cast<std::uint64_t>(n)
                                                 : static_cast<std::uint64_t>(n));
    for (auto at = static_cast<std::ptrdiff_t>(digits.size()) - 3; at > 0; at -= 3)
        digits.insert(static_cast<std::size_t>(at), 1, ',');
    return negative ? "-" + digits : digits;
}

std::string Format::dollars(std::optional<double> amount) {
    const auto cents = amount ? rounded(*amount * 100.0) : std::nullopt;
    if (!cents || *cents == std::numeric_limits<std::int64_t>::min())
        return std::string(kNoValue);
    const std::int64_t c = *cents < 0 ? -*cents : *cents;
    const std::string fraction = std::to_string(100 + c % 100).substr(1);
    return std::string(*cents < 0 ? "-$" : "$") + grouped(c / 100) + "." + fraction;
}

std::string Format::smallDollars(std::optional<double> amount) {
    if (!amount || !std::isfinite(*amount) || *amount == 0 || std::abs(*amount) >= 0.1)
        return dollars(amount);
    char text[32];
    std::snprintf(text, sizeof text, "$%.2g", *amount);
    return text;
}

std::string Format::lastPathComponent(std::string_view path) {
    if (!path.empty() && path.back() == '/')
        path.remove_suffix(1);
    const auto slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

} // namespace vellumkite
