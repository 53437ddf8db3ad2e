#pragma once

#include "Time.hpp"

#include <cstdint>
#include <string>

namespace vellumkite {

// One chat's figures over a range of time.
struct ChatSummary {
    std::string sessionId;
    std::string project; // of the chat's latest turn in the range
    Instant lastTime;    // of the chat's latest turn in the range
    std::int64_t replies = 0;
    std::int64_t size = 0; // chatSize of the latest turn
    double weight = 0;
    std::int64_t output = 0;

    bool operator==(const ChatSummary&) const = default;
};

} // namespace vellumkite
