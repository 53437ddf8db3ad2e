#pragma once

#include <string>
#include <utility>
#include <vector>

namespace vellumkite::bench {

// Runs a program to its end as a child, with some environment variables replaced, and measures
// it from outside: wall time, CPU time (user and system) and peak resident memory, as the kernel
// counts them for that child alone.
struct ChildRun {
    struct Outcome {
        bool started = false;
        int exitCode = -1; // -1 unless it exited by itself
        double wall = 0, cpu = 0;
        double peakMb = 0;
        std::string output; // its standard output
    };

    // argv[0] is looked up in PATH. Standard error goes to `errors` (a file path, truncated).
    static Outcome run(const std::vector<std::string>& argv,
                       const std::vector<std::pair<std::string, std::string>>& environment,
                       const std::string& errors);
};

} // namespace vellumkite::bench
