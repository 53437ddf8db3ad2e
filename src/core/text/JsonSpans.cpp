#include "JsonSpans.hpp"

namespace vellumkite {

namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// One past the closing quote of the string whose opening quote is at `at`.
std::size_t stringEnd(std::string_view text, std::size_t at) {
    for (std::size_t i = at + 1; i < text.size(); ++i) {
        if (text[i] == '\\')
            ++i;
        else if (text[i] == '"')
            return i + 1;
    }
    return text.size();
}

} // namespace

std::size_t JsonSpans::skipSpace(std::string_view text, std::size_t at) {
    while (at < text.size() && isSpace(text[at]))
        ++at;
    return at;
}

std::size_t JsonSpans::valueEnd(std::string_view text, std::size_t at) {
    if (at >= text.size())
        return text.size();
    const char c = text[at];
    if (c == '"')
        return stringEnd(text, at);
    if (c == '{' || c == '[') {
        // Counting brackets is enough in valid JSON once strings are stepped over; no recursion,
        // so nesting depth costs nothing.
        std::size_t depth = 0;
        for (std::size_t i = at; i < text.size(); ++i) {
            const char d = text[i];
            if (d == '"') {
                i = stringEnd(text, i) - 1;
            } else if (d == '{' || d == '[') {
                ++depth;
            } else if (d == '}' || d == ']') {
                if (--depth == 0)
                    return i + 1;
            }
        }
        return text.size();
    }
    std::size_t i = at;
    while (i < text.size() && !isSpace(text[i]) && text[i] != ',' && text[i] != '}' &&
           text[i] != ']')
        ++i;
    return i;
}

JsonSpans::Object JsonSpans::object(std::string_view text, std::size_t open) {
    Object out;
    out.open = open;
    std::size_t at = skipSpace(text, open + 1);
    while (at < text.size() && text[at] != '}') {
        Member m;
        m.keyStart = at;
        m.keyEnd = stringEnd(text, at);
        m.valueStart = skipSpace(text, skipSpace(text, m.keyEnd) + 1); // past the colon
        m.valueEnd = valueEnd(text, m.valueStart);
        out.members.push_back(m);
        at = skipSpace(text, m.valueEnd);
        if (at < text.size() && text[at] == ',')
            at = skipSpace(text, at + 1);
    }
    out.close = at;
    return out;
}

} // namespace vellumkite
