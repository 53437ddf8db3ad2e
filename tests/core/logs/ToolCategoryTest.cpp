#include "ToolCategory.hpp"

#include <gtest/gtest.h>

using vellumkite::ToolCategory;

TEST(ToolCategoryTest, BuiltInNamesMatchExactly) {
    EXPECT_EQ(ToolCategory::of("Read"), "File reads");
    EXPECT_EQ(ToolCategory::of("NotebookRead"), "File reads");
    EXPECT_EQ(ToolCategory::of("MultiEdit"), "File edits");
    EXPECT_EQ(ToolCategory::of("BashOutput"), "Terminal commands");
    EXPECT_EQ(ToolCategory::of("LS"), "Searches");
    EXPECT_EQ(ToolCategory::of("WebSearch"), "Web");
    EXPECT_EQ(ToolCategory::of("Task"), "Subagents");
    EXPECT_EQ(ToolCategory::of("read"), "Other tools");
    EXPECT_EQ(ToolCategory::of("Read "), "Other tools");
    EXPECT_EQ(ToolCategory::of("?"), "Other tools");
    EXPECT_EQ(ToolCategory::of(""), "Other tools");
}

TEST(ToolCategoryTest, SpecificConnectorsComeBeforeTheGeneralPrefix) {
    EXPECT_EQ(ToolCategory::of("mcp__claude-in-chrome__navigate"), "Browser");
    EXPECT_EQ(ToolCategory::of("mcp__Claude_Browser__screenshot"), "Browser");
    EXPECT_EQ(ToolCategory::of("mcp__computer-use__click"), "Screen control");
    EXPECT_EQ(ToolCategory::of("mcp__Claude_Code_iOS_Simulator__tap"), "iOS Simulator");
    EXPECT_EQ(ToolCategory::of("mcp__ccd_session"), "Claude app tools");
    EXPECT_EQ(ToolCategory::of("mcp__visualize__"), "Claude app tools");
    // Cut short by its last underscore: only the general prefix still matches.
    EXPECT_EQ(ToolCategory::of("mcp__Claude_Browser_"), "Connectors");
    EXPECT_EQ(ToolCategory::of("mcp__"), "Connectors");
    EXPECT_EQ(ToolCategory::of("mcp_github"), "Other tools");
}

TEST(ToolCategoryTest, EveryLabelGivenIsOnTheOneList) {
    for (const char* tool : {"Read", "Edit", "Bash", "Grep", "WebFetch", "Agent", "?", "",
                             "mcp__claude-in-chrome__x", "mcp__computer-use__x",
                             "mcp__Claude_Code_iOS_Simulator__x", "mcp__ccd_x", "mcp__x", "Other"})
        EXPECT_LT(ToolCategory::index(ToolCategory::of(tool)), ToolCategory::kAll.size()) << tool;
    EXPECT_EQ(ToolCategory::index("Shell commands"), ToolCategory::kAll.size());
}
