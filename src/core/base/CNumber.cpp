#include "CNumber.hpp"

#include <clocale>
#include <cstdlib>
#include <locale.h>
#ifdef __APPLE__
#include <xlocale.h> // strtod_l
#endif
#include <string>

namespace vellumkite {

namespace {

// Made once and never freed: the parsers may run on any thread at any time until exit.
locale_t cLocale() {
    static const locale_t loc = newlocale(LC_ALL_MASK, "C", nullptr);
    return loc;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isCSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

} // namespace

std::optional<double> CNumber::parseWhole(std::string_view text) {
    if (text.empty() || isCSpace(text.front()))
        return std::nullopt;
    const locale_t loc = cLocale();
    if (loc == locale_t{})
        return std::nullopt;
    const std::string s(text); // strtod needs the terminating NUL
    char* end = nullptr;
    const double value = strtod_l(s.c_str(), &end, loc);
    // An embedded NUL also stops the parse short of the end, which rejects it.
    if (end != s.c_str() + s.size())
        return std::nullopt;
    return value;
}

double CNumber::parseLeading(std::string_view text) {
    const locale_t loc = cLocale();
    if (loc == locale_t{})
        return 0;
    const std::string s(text);
    char* end = nullptr;
    const double value = strtod_l(s.c_str(), &end, loc);
    return end == s.c_str() ? 0 : value;
}

std::optional<CNumber::Prefix> CNumber::parsePrefix(std::string_view text) {
    const locale_t loc = cLocale();
    if (loc == locale_t{})
        return std::nullopt;
    // Only the characters a decimal number can hold go to strtod, so it cannot read more.
    std::size_t n = 0;
    while (n < text.size() && (isDigit(text[n]) || text[n] == '.' || text[n] == 'e' ||
                               text[n] == 'E' || text[n] == '+' || text[n] == '-'))
        ++n;
    const std::string s(text.substr(0, n));
    if (s.empty() || isCSpace(s.front()))
        return std::nullopt;
    char* end = nullptr;
    const double value = strtod_l(s.c_str(), &end, loc);
    if (end == s.c_str())
        return std::nullopt;
    return Prefix{value, static_cast<std::size_t>(end - s.c_str())};
}

} // namespace vellumkite
