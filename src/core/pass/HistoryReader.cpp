#include "HistoryReader.hpp"

#include "History.hpp"

#include <algorithm>

namespace vellumkite {

HistoryReader::HistoryReader(History& history, std::uint64_t slice, double liveWindow, Clock clock)
    : history_(history), slice_(slice), liveWindow_(liveWindow), clock_(std::move(clock)) {}

void HistoryReader::begin() {
    cutoff_ = addSeconds(clock_(), -liveWindow_);
    budget_ = firstPass_ && liveWindow_ > 0 ? 0 : slice_;
    backlog_ = {};
}

std::optional<LogPosition> HistoryReader::wants(const std::string& path,
                                                const LogDirectory::Entry& listed) {
    LogPosition at = history_.position(path);
    if (at.readSinceChange(listed))
        return std::nullopt;
    if (listed.modified < cutoff_) {
        const std::uint64_t left = listed.size > at.offset ? listed.size - at.offset : listed.size;
        if (budget_ == 0) {
            // This pass's slice is full; a later one takes it.
            ++backlog_.files;
            backlog_.bytes += left;
            return std::nullopt;
        }
        budget_ -= std::min(budget_, left);
    }
    return at;
}

void HistoryReader::take(const ParsedLine& line) {
    history_.take(line);
}

void HistoryReader::advance(const std::string& path, const LogPosition& position) {
    history_.advance(path, position);
}

} // namespace vellumkite
