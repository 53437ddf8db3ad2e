#include "Turn.hpp"

#include "Saturating.hpp"

#include <algorithm>
#include <iterator>

namespace vellumkite {

std::int64_t Turn::chatSize() const {
    return saturatingAdd(saturatingAdd(input, cacheRead), cacheWrite);
}

double Turn::weight() const {
    return ((0.1 * static_cast<double>(cacheRead) + static_cast<double>(input)) +
            1.25 * static_cast<double>(cacheWrite)) +
           5.0 * static_cast<double>(output);
}

void Turn::absorb(Turn&& line) {
    input = std::max(input, line.input);
    cacheRead = std::max(cacheRead, line.cacheRead);
    cacheWrite = std::max(cacheWrite, line.cacheWrite);
    output = std::max(output, line.output);
    cacheWrite1h = std::max(cacheWrite1h, line.cacheWrite1h);
    webSearches = std::max(webSearches, line.webSearches);
    fast = fast || line.fast;
    usOnly = usOnly || line.usOnly;
    tools.insert(tools.end(), std::make_move_iterator(line.tools.begin()),
                 std::make_move_iterator(line.tools.end()));
}

} // namespace vellumkite
