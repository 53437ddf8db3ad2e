#include "ToolCategory.hpp"

#include <algorithm>

namespace vellumkite {

std::string_view ToolCategory::of(std::string_view n) {
    if (n == "Read" || n == "NotebookRead")
        return kFileReads;
    if (n == "Write" || n == "Edit" || n == "MultiEdit" || n == "NotebookEdit")
        return kFileEdits;
    if (n == "Bash" || n == "BashOutput")
        return kTerminal;
    if (n == "Grep" || n == "Glob" || n == "LS")
        return kSearches;
    if (n == "WebFetch" || n == "WebSearch")
        return kWeb;
    if (n == "Agent" || n == "Task")
        return kSubagents;
    if (n == "?")
        return kOther;
    // The specific connectors come before the general "mcp__" prefix.
    if (n.starts_with("mcp__Claude_Browser__") || n.starts_with("mcp__claude-in-chrome__"))
        return kBrowser;
    if (n.starts_with("mcp__computer-use__"))
        return kScreenControl;
    if (n.starts_with("mcp__Claude_Code_iOS_Simulator__"))
        return kSimulator;
    if (n.starts_with("mcp__ccd_") || n.starts_with("mcp__visualize__"))
        return kAppTools;
    if (n.starts_with("mcp__"))
        return kConnectors;
    return kOther;
}

std::size_t ToolCategory::index(std::string_view label) {
    return static_cast<std::size_t>(std::find(kAll.begin(), kAll.end(), label) - kAll.begin());
}

} // namespace vellumkite
