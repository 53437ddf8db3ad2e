#include "CoachInput.hpp"

namespace vellumkite {

std::optional<double> CoachInput::percentPerMessage() const {
    if (!weightPerPercent || !(*weightPerPercent > 0) || !(nextMessageWeight > 0))
        return std::nullopt;
    return nextMessageWeight / *weightPerPercent;
}

} // namespace vellumkite
