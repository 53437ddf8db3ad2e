#pragma once

#include "LogPass.hpp"
#include "Time.hpp"

#include <cstdint>

namespace vellumkite {

class History;

// The history as one of a log pass's readers. It reads every log from where the history stands
// in it: the logs changed inside the live figures' window on every pass, the older ones about
// `slice` bytes a pass, and, where there are live figures, only from the second pass on, so that
// those come first. Writing what it took in is its owner's part.
class HistoryReader final : public LogPass::Reader {
public:
    // `liveWindow` in seconds: the window of the live figures read beside it, 0 without them.
    HistoryReader(History& history, std::uint64_t slice, double liveWindow,
                  Clock clock = systemClock());

    // What is still to read of the logs older than the window, as the last pass found it.
    struct Backlog {
        std::size_t files = 0;
        std::uint64_t bytes = 0;
    };
    Backlog backlog() const { return backlog_; }

    void begin() override;
    std::optional<LogPosition> wants(const std::string& path,
                                     const LogDirectory::Entry& listed) override;
    void take(const ParsedLine& line) override;
    void advance(const std::string& path, const LogPosition& position) override;
    void end() override { firstPass_ = false; }

private:
    History& history_;
    std::uint64_t slice_;
    double liveWindow_;
    Clock clock_;
    bool firstPass_ = true;
    Instant cutoff_;
    std::uint64_t budget_ = 0;
    Backlog backlog_;
};

} // namespace vellumkite
