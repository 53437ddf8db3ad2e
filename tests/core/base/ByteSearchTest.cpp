#include "ByteSearch.hpp"

#include <cstring>
#include <gtest/gtest.h>
#include <string>

using vellumkite::ByteSearch;

TEST(ByteSearchTest, FindsTheFirstMatchAtEveryOffsetLikeMemmem) {
    const ByteSearch tag(R"("type":"assistant")", 2, 15);
    const std::string needle(tag.needle());
    for (std::size_t length = 0; length < 150; ++length) {
        for (std::size_t at = 0; at + needle.size() <= length; at += 7) {
            // Near misses everywhere: the probe bytes right, the rest wrong.
            std::string hay(length, 'y');
            for (std::size_t i = 13; i < length; i += 13)
                hay[i] = 'n';
            hay.replace(at, needle.size(), needle);
            const char* expected = static_cast<const char*>(
                memmem(hay.data(), hay.size(), needle.data(), needle.size()));
            EXPECT_EQ(tag.find(hay), expected) << length << " " << at;
        }
        const std::string none(length, 'y');
        EXPECT_FALSE(tag.in(none));
    }
    EXPECT_FALSE(ByteSearch(R"("usage":)", 1, 5).in(R"("usage" :)"));
    EXPECT_TRUE(ByteSearch(R"("usage":)", 1, 5).in(std::string(40, ' ') + R"("usage":)"));
}
