#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace vellumkite {

// Where the members of a JSON object stand in its text, so that one member can be replaced, added
// or removed while every other byte stays as it was. The text must already be known to be valid
// JSON: nothing here checks it.
struct JsonSpans {
    struct Member {
        std::size_t keyStart = 0, keyEnd = 0;     // the key with its quotes
        std::size_t valueStart = 0, valueEnd = 0; // one past the value's last byte
    };
    struct Object {
        std::size_t open = 0, close = 0; // the braces
        std::vector<Member> members;     // in the order of the text
    };

    // The object whose opening brace is at `open`.
    static Object object(std::string_view text, std::size_t open);

    // The first byte at or after `at` that is not JSON white space.
    static std::size_t skipSpace(std::string_view text, std::size_t at);
    // One past the end of the value that starts at `at`.
    static std::size_t valueEnd(std::string_view text, std::size_t at);
};

} // namespace vellumkite
