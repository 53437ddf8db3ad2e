#include "Tip.hpp"

namespace vellumkite {

std::optional<Tip::Level> Tip::levelFromRaw(std::int64_t raw) {
    if (raw < 0 || raw > 2)
        return std::nullopt;
    return static_cast<Level>(raw);
}

const char* Tip::levelName(Level level) {
    switch (level) {
    case Level::info:
        return "info";
    case Level::warn:
        return "warn";
    case Level::alert:
        return "alert";
    }
    return "info";
}

} // namespace vellumkite
