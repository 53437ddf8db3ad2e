#include "Timestamp.hpp"

#include <cstdint>
#include <cstdio>

namespace vellumkite {

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date (Howard Hinnant's algorithm).
constexpr std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

struct Civil {
    std::int64_t year;
    unsigned month, day;
};

constexpr Civil civilFromDays(std::int64_t z) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    return {static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2), m, d};
}

constexpr unsigned daysInMonth(std::int64_t y, unsigned m) {
    constexpr unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (m == 2 && (y % 4 == 0 && (y % 100 != 0 || y % 400 == 0)))
        return 29;
    return days[m - 1];
}

// Reads exactly n digits at p; false if any is not a digit.
bool digits(const char*& p, const char* end, int n, unsigned& out) {
    if (end - p < n)
        return false;
    unsigned v = 0;
    for (int i = 0; i < n; ++i, ++p) {
        const unsigned c = static_cast<unsigned char>(*p) - '0';
        if (c > 9)
            return false;
        v = v * 10 + c;
    }
    out = v;
    return true;
}

bool expect(const char*& p, const char* end, char c) {
    if (p == end || *p != c)
        return false;
    ++p;
    return true;
}

} // namespace

std::optional<Instant> Timestamp::parse(std::string_view text) {
    const char* p = text.data();
    const char* end = p + text.size();
    unsigned year, month, day, hour, minute, second;
    if (!digits(p, end, 4, year) || !expect(p, end, '-') || !digits(p, end, 2, month) ||
        !expect(p, end, '-') || !digits(p, end, 2, day) || !expect(p, end, 'T') ||
        !digits(p, end, 2, hour) || !expect(p, end, ':') || !digits(p, end, 2, minute) ||
        !expect(p, end, ':') || !digits(p, end, 2, second) || !expect(p, end, '.'))
        return std::nullopt;
    // One or more fraction digits; those past the microsecond are read and dropped.
    std::int64_t micros = 0;
    int fractionDigits = 0;
    while (p != end && static_cast<unsigned>(static_cast<unsigned char>(*p) - '0') <= 9) {
        if (fractionDigits < 6)
            micros = micros * 10 + (*p - '0');
        ++fractionDigits;
        ++p;
    }
    if (fractionDigits == 0)
        return std::nullopt;
    for (int i = fractionDigits; i < 6; ++i)
        micros *= 10;

    std::int64_t offsetSeconds = 0;
    if (p == end)
        return std::nullopt;
    if (*p == 'Z') {
        ++p;
    } else if (*p == '+' || *p == '-') {
        const bool negative = *p == '-';
        ++p;
        unsigned oh, om;
        if (!digits(p, end, 2, oh) || !expect(p, end, ':') || !digits(p, end, 2, om) || oh > 23 ||
            om > 59)
            return std::nullopt;
        offsetSeconds = (negative ? -1 : 1) * static_cast<std::int64_t>(oh * 3600 + om * 60);
    } else {
        return std::nullopt;
    }
    if (p != end)
        return std::nullopt;
    // A leap second (60) is accepted and lands on the next second, as RFC 3339 allows it.
    if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) || hour > 23 ||
        minute > 59 || second > 60)
        return std::nullopt;

    const std::int64_t days = daysFromCivil(year, month, day);
    const std::int64_t secs = days * 86400 + hour * 3600 + minute * 60 + second - offsetSeconds;
    return Instant{std::chrono::microseconds{secs * 1'000'000 + micros}};
}

std::string Timestamp::format(Instant t) {
    // Clamp to years 0000-9999 so that the text always has the RFC 3339 shape.
    constexpr std::int64_t minMicros = daysFromCivil(0, 1, 1) * 86400LL * 1'000'000;
    constexpr std::int64_t maxMicros = (daysFromCivil(10000, 1, 1) * 86400LL) * 1'000'000 - 1000;
    std::int64_t us = t.time_since_epoch().count();
    if (us < minMicros)
        us = minMicros;
    if (us > maxMicros)
        us = maxMicros;
    std::int64_t secs = us / 1'000'000;
    std::int64_t rem = us % 1'000'000;
    if (rem < 0) {
        rem += 1'000'000;
        --secs;
    }
    std::int64_t days = secs / 86400;
    std::int64_t sod = secs % 86400;
    if (sod < 0) {
        sod += 86400;
        --days;
    }
    const Civil c = civilFromDays(days);
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04lld-%02u-%02uT%02lld:%02lld:%02lld.%03lldZ",
                  static_cast<long long>(c.year), c.month, c.day,
                  static_cast<long long>(sod / 3600), static_cast<long long>(sod / 60 % 60),
                  static_cast<long long>(sod % 60), static_cast<long long>(rem / 1000));
    return buf;
}

} // namespace vellumkite
