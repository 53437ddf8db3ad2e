#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vellumkite {

// Runs a command with some bytes on its standard input and collects its standard output, within
// a time limit. The command runs in a process group of its own, which is killed as a whole when
// time runs out, or when the command has exited but what it started still holds the output, so
// a shell's children go with it.
struct Subprocess {
    struct Outcome {
        bool started = false;
        bool timedOut = false;
        int exitCode = -1;  // -1 unless the command exited by itself
        std::string output; // at most kMaxOutput bytes; more is read and dropped
    };

    static constexpr std::size_t kMaxOutput = 64 * 1024;

    // argv[0] is looked up in PATH. Standard error is the caller's. SIGPIPE must be ignored by
    // the caller, since the command may exit without reading its input.
    static Outcome run(const std::vector<std::string>& argv, std::string_view input,
                       std::chrono::milliseconds timeout);
};

} // namespace vellumkite
