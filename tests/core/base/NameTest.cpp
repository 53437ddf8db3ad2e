#include "Name.hpp"

#include <algorithm>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

using namespace vellumkite;

TEST(NameTest, EqualTextsAreOneNameOnEveryThread) {
    // Threads name the same texts at once, in different orders: each text ends up as one name.
    constexpr int kTexts = 500;
    std::vector<std::vector<Name>> seen(4);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kTexts; ++i)
                seen[t].emplace_back("session-" + std::to_string(t % 2 ? kTexts - 1 - i : i));
            if (t % 2)
                std::reverse(seen[t].begin(), seen[t].end());
        });
    for (auto& t : threads)
        t.join();
    for (int i = 0; i < kTexts; ++i) {
        EXPECT_EQ(seen[0][i].str(), "session-" + std::to_string(i));
        for (int t = 1; t < 4; ++t)
            EXPECT_EQ(seen[t][i].id(), seen[0][i].id()) << i;
    }
    EXPECT_NE(seen[0][1].id(), seen[0][2].id());
}

TEST(NameTest, ComparesAndOrdersByText) {
    EXPECT_EQ(Name(), Name(""));
    EXPECT_TRUE(Name().empty());
    EXPECT_EQ(Name("Read"), "Read");
    EXPECT_EQ(Name("Read"), std::string("Read"));
    EXPECT_NE(Name("Read"), Name("read"));
    // Ordered by text, whichever was named first.
    const Name later("zeta-later"), earlier("alpha-earlier");
    EXPECT_LT(earlier, later);
    std::vector<Name> sorted = {Name("b"), Name("c"), Name("a")};
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, (std::vector<Name>{"a", "b", "c"}));
}
