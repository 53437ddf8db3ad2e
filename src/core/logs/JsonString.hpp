#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace vellumkite {

// Facts about a JSON string taken from its raw bytes, without decoding it.
struct JsonString {
    // Readable bytes needed after `body`: whole blocks are loaded.
    static constexpr std::size_t kPadding = 64;

    // How many bytes the text between a string's quotes decodes to, or nothing when one of its
    // escapes is not valid JSON (an unknown escape, bad hex digits, a lone surrogate): exactly
    // when the decoder would reject it. The first stage of the decoder has already made sure
    // that `body` holds no unescaped quote or control character and is valid UTF-8.
    static std::optional<std::size_t> decodedSize(std::string_view body);
};

} // namespace vellumkite
