#pragma once

#include "HistoryUpdate.hpp"

#include <chrono>
#include <string>

namespace vellumkite {

// A progress line on a terminal while the history takes in the logs: a bar, the files and bytes
// done and an estimate of the time left. Drawn on standard error, at most a few times a second,
// and only once the import has taken a moment, so that a quick update leaves no trace.
class ImportProgress {
public:
    explicit ImportProgress(int fd);

    void update(const HistoryUpdate::Progress& progress);
    // Clears the line; call it before anything else is written to the terminal.
    void finish();

    // The line for some progress after some seconds, without terminal codes.
    static std::string line(const HistoryUpdate::Progress& progress, double seconds, int width);

private:
    int fd_;
    bool enabled_;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point start_, lastDraw_;
};

} // namespace vellumkite
