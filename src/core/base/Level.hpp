#pragma once

#include <cstdint>

namespace vellumkite {

// How serious something is: a tip, a gauge's colour band, a chat's size. Ordered; the raw values
// are those stored with fired notifications.
enum class Level : std::int64_t { info = 0, warn = 1, alert = 2 };

} // namespace vellumkite
