#pragma once

#include "RefreshPass.hpp"
#include "StatusScreen.hpp"

namespace vellumkite {

class Preferences;
class UsageStore;

// The report redrawn every 3 seconds from one store, so each pass reads only what was appended.
// On a terminal it draws in place on the alternate screen and ends on q, Ctrl-C or SIGTERM,
// giving the terminal back as it was; otherwise it prints one report per pass, a blank line
// between them, until stopped. With `json`, each pass prints one JSON object on a line of its own
// instead, wherever the output goes.
struct Watch {
    static constexpr auto kInterval = std::chrono::seconds(3);

    // The exit status: 0 when stopped, 1 when the output could not be written.
    static int run(UsageStore& store, const RefreshPass::Inputs& inputs,
                   const Preferences& preferences, bool terminal, bool json = false);
};

} // namespace vellumkite
