#pragma once

#include "Time.hpp"

#include <optional>
#include <string>
#include <string_view>

namespace vellumkite {

// The command the assistant runs as its status line: it receives a JSON document on standard
// input, saves the official limit readings it holds for the app and the terminal tool, and
// prints one short line. Whatever it is given, it exits 0 and quickly, so that the assistant's
// status bar never breaks.
struct StatusLine {
    static constexpr std::size_t kMaxInput = 4 * 1024 * 1024;

    struct Reading {
        // {"rate_limits": ...} as it is to be saved, when the input held a "rate_limits" object
        // that can be a true reading.
        std::optional<std::string> limitsFile;
        // Why the input's "rate_limits" was not believed (see Limits::refusal()); the reading
        // saved before stays.
        std::string refused;
        // "5h 34% · wk 18% · ctx 86k"; the parts the input lacks, or that were refused, are left
        // out.
        std::string line;
    };

    // Anything that is not one well-formed JSON object gives no file and the bare line.
    static Reading read(std::string_view input, Instant now = systemNow());

    // The whole command: `argv` after the program's name (and after "statusline" for the
    // terminal tool), so either empty or "--" followed by a command to pass the input on to.
    static int main(int argc, char** argv, const char* program);

    static std::string usage(const char* program);
};

} // namespace vellumkite
