#pragma once

#include "Time.hpp"

#include <string>
#include <vector>

namespace vellumkite {

// Checks each piece Vellumkite relies on, one line each, with a hint for what is missing. Reads
// only: nothing is written, created or started.
struct Doctor {
    enum class Mark {
        ok,      // in place
        missing, // needed, and not there: the exit status says so
        warning, // not needed for the figures, but something will not work
        info,    // a fact, neither good nor bad
    };
    struct Check {
        Mark mark = Mark::info;
        std::string name;
        std::string detail;
        std::string hint; // what to do; empty when nothing is to be done
    };

    static std::vector<Check> checks(Instant now);
    static std::string render(const std::vector<Check>& checks, bool colour);
    // Prints the checks; 0 when every needed piece is there, 1 otherwise.
    static int run(bool colour);
};

} // namespace vellumkite
