#pragma once

#include <array>
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

    // Every label, in the order the figures are summed.
    static constexpr std::array<std::string_view, 12> kAll = {
        kFileReads, kFileEdits,     kTerminal,  kSearches, kWeb,        kSubagents,
        kBrowser,   kScreenControl, kSimulator, kAppTools, kConnectors, kOther};

    // One of kAll; total, case-sensitive, allocates nothing.
    static std::string_view of(std::string_view toolName);
    // Where the label stands in kAll; kAll.size() for a text that is no label.
    static std::size_t index(std::string_view label);
};

} // namespace vellumkite
