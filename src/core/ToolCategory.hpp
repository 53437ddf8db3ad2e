#pragma once

#include <string_view>

namespace vellumkite {

// The one mapping from a tool name to the kind of tool a user understands.
struct ToolCategory {
    static constexpr std::string_view kFileReads = "File reads";
    static constexpr std::string_view kFileEdits = "File edits";
    static constexpr std::string_view kTerminal = "Terminal commands";
    static constexpr std::string_view kSearches = "Searches";
    static constexpr std::string_view kWeb = "Web";
    static constexpr std::string_view kSubagents = "Subagents";
    static constexpr std::string_view kBrowser = "Browser";
    static constexpr std::string_view kScreenControl = "Screen control";
    static constexpr std::string_view kSimulator = "iOS Simulator";
    static constexpr std::string_view kAppTools = "Claude app tools";
    static constexpr std::string_view kConnectors = "Connectors";
    static constexpr std::string_view kOther = "Other tools";

    // One of the twelve labels above; total, case-sensitive, allocates nothing.
    static std::string_view of(std::string_view toolName);
};

} // namespace vellumkite
