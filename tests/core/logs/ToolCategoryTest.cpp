#include "ToolCategory.hpp"

#include <gtest/gtest.h>
#include <initializer_list>

using vellumkite::ToolCategory;

namespace {

void expectCategory(std::string_view category, std::initializer_list<const char*> tools) {
    for (const char* tool : tools)
        EXPECT_EQ(ToolCategory::of(tool), category) << '"' << tool << '"';
}

} // namespace

TEST(ToolCategoryTest, BuiltInNamesMatchExactly) {
    expectCategory("File reads", {"Read", "NotebookRead"});
    expectCategory("File edits", {"MultiEdit"});
    expectCategory("Terminal commands", {"BashOutput"});
    expectCategory("Searches", {"LS"});
    expectCategory("Web", {"WebSearch"});
    expectCategory("Subagents", {"Task"});
    expectCategory("Other tools", {"read", "Read ", "?", ""});
}

TEST(ToolCategoryTest, SpecificConnectorsComeBeforeTheGeneralPrefix) {
    expectCategory("Browser",
                   {"mcp__claude-in-chrome__navigate", "mcp__Claude_Browser__screenshot"});
    expectCategory("Screen control", {"mcp__computer-use__click"});
    expectCategory("iOS Simulator", {"mcp__Claude_Code_iOS_Simulator__tap"});
    expectCategory("Claude app tools", {"mcp__ccd_session", "mcp__visualize__"});
    // Cut short by its last underscore: only the general prefix still matches.
    expectCategory("Connectors", {"mcp__Claude_Browser_", "mcp__"});
    expectCategory("Other tools", {"mcp_github"});
}

TEST(ToolCategoryTest, EveryLabelGivenIsOnTheOneList) {
    for (const char* tool : {"Read", "Edit", "Bash", "Grep", "WebFetch", "Agent", "?", "",
                             "mcp__claude-in-chrome__x", "mcp__computer-use__x",
                             "mcp__Claude_Code_iOS_Simulator__x", "mcp__ccd_x", "mcp__x", "Other"})
        EXPECT_LT(ToolCategory::index(ToolCategory::of(tool)), ToolCategory::kAll.size()) << tool;
    EXPECT_EQ(ToolCategory::index("Shell commands"), ToolCategory::kAll.size());
}
