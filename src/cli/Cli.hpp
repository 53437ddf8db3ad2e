#pragma once

#include <string>

namespace vellumkite {

// The terminal tool: the coaching of the menu popover for machines without a desktop, its
// figures as JSON for scripts and status bars, and the status-line command.
struct Cli {
    static int main(int argc, char** argv);
    static std::string usage();
};

} // namespace vellumkite
