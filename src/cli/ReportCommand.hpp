#pragma once

namespace vellumkite {

// `vellumkite-cli report`: brings the history up to date with the logs, then answers from it.
struct ReportCommand {
    // argv[0] is the first word after "report". Exit 0, 1 when the history is unavailable, 2 for
    // a mistake in the arguments.
    static int main(int argc, char** argv);
};

} // namespace vellumkite
