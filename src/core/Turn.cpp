#include "Turn.hpp"

#include "Saturating.hpp"

namespace vellumkite {

std::int64_t Turn::chatSize() const {
    return saturatingAdd(saturatingAdd(input, cacheRead), cacheWrite);
}

double Turn::weight() const {
    return ((0.1 * static_cast<double>(cacheRead) + static_cast<double>(input)) +
            1.25 * static_cast<double>(cacheWrite)) +
           5.0 * static_cast<double>(output);
}

} // namespace vellumkite
