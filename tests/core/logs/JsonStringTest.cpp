#include "JsonString.hpp"

#include <gtest/gtest.h>
#include <random>
#include <simdjson.h>

using namespace vellumkite;

namespace {

// What the decoder makes of the same text as a whole string: its decoded size, or nothing.
std::optional<std::size_t> decoded(const std::string& body) {
    thread_local simdjson::ondemand::parser parser;
    const simdjson::padded_string json("\"" + body + "\"");
    simdjson::ondemand::document doc;
    std::string_view s;
    if (parser.iterate(json).get(doc) != simdjson::SUCCESS ||
        doc.get_string().get(s) != simdjson::SUCCESS)
        return std::nullopt;
    return s.size();
}

// Whether a quote ends the string early: the function is only ever given whole string bodies.
bool hasBareQuote(const std::string& body) {
    for (std::size_t i = 0; i < body.size(); ++i) {
        if (body[i] == '\\')
            ++i;
        else if (body[i] == '"')
            return true;
    }
    return false;
}

std::optional<std::size_t> sizeOf(const std::string& body) {
    const simdjson::padded_string padded(body); // the padding the function may read
    return JsonString::decodedSize(std::string_view(padded.data(), body.size()));
}

} // namespace

TEST(JsonStringTest, CountsEscapesAsTheirDecodedBytes) {
    EXPECT_EQ(sizeOf(""), 0u);
    EXPECT_EQ(sizeOf("plain text"), 10u);
    EXPECT_EQ(sizeOf(R"(a\nb\"c\\d\/e\tf)"), 11u);
    EXPECT_EQ(sizeOf(R"(\u0041\u00e9\u20ac)"), 1u + 2u + 3u);
    EXPECT_EQ(sizeOf(R"(\ud83d\ude80)"), 4u); // a surrogate pair is one 4-byte character
    EXPECT_EQ(sizeOf("é→🚀"), 2u + 3u + 4u);   // raw multi-byte characters count as written
    EXPECT_EQ(sizeOf(R"(\\\\\\)"), 3u);
    for (const std::string bad : {R"(\x)", R"(\u00)", R"(\u00G0)", R"(\U00e9)", R"(\udc00)",
                                  R"(\ud800)", R"(\ud800\u0041)", R"(\ud800\udbff)", R"(a\)"})
        EXPECT_FALSE(sizeOf(bad)) << bad;
}

TEST(JsonStringTest, AgreesWithTheDecoderOnRandomEscapesAcrossBlocks) {
    // Pieces that stress runs of backslashes and escapes straddling 64-byte blocks.
    const std::vector<std::string> pieces = {"a",
                                             "bcdefgh",
                                             "\\n",
                                             "\\\\",
                                             "\\\"",
                                             "\\/",
                                             "\\u00e9",
                                             "\\u20AC",
                                             "\\uD83D\\uDE80",
                                             "\\ud800",
                                             "\\udc00",
                                             "\\x",
                                             "\\u12",
                                             "\\",
                                             "é",
                                             "🚀",
                                             std::string(61, 'z'),
                                             "\\u0000",
                                             "\\ud800\\u0041"};
    std::mt19937 rng(11);
    int valid = 0;
    for (int round = 0; round < 20000; ++round) {
        std::string body;
        const int n = 1 + static_cast<int>(rng() % 12);
        for (int i = 0; i < n; ++i)
            body += pieces[rng() % pieces.size()];
        if (hasBareQuote(body))
            continue;
        const auto want = decoded(body);
        ASSERT_EQ(sizeOf(body), want) << body;
        valid += want.has_value();
    }
    EXPECT_GT(valid, 1000); // both outcomes were exercised
    EXPECT_LT(valid, 19000);
}
