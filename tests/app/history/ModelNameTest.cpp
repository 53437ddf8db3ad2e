#include "ModelName.hpp"

#include <gtest/gtest.h>

using namespace vellumkite;

TEST(ModelNameTest, FamilyAndVersionWhereTheIdSaysThem) {
    EXPECT_EQ(ModelName::display("claude-opus-4-5-20251101"), "Opus 4.5");
    EXPECT_EQ(ModelName::display("claude-sonnet-4-5-20250929"), "Sonnet 4.5");
    EXPECT_EQ(ModelName::display("claude-haiku-4-5"), "Haiku 4.5");
    EXPECT_EQ(ModelName::display("claude-opus-4-20250514"), "Opus 4");
    // The older order, version first.
    EXPECT_EQ(ModelName::display("claude-3-5-sonnet-20241022"), "Sonnet 3.5");
    EXPECT_EQ(ModelName::display("claude-3-opus-20240229"), "Opus 3");
    // Anything else keeps its id, so that two models never read alike.
    for (const char* id : {"claude-future-9", "claude-sonnet-4-5-20250929-preview", "claude-sonnet",
                           "gpt-4", "", "claude-opus-sonnet-4", "claude-sonnet-4-5-2025"})
        EXPECT_EQ(ModelName::display(id), QString::fromUtf8(id)) << id;
}
