#include "SpikeScale.hpp"

#include <algorithm>
#include <cmath>

namespace vellumkite {

SpikeScale SpikeScale::of(const std::vector<double>& values, double floor) {
    double largest = 0, next = 0;
    for (const double v : values) {
        if (!std::isfinite(v) || v <= 0)
            continue;
        if (v > largest) {
            next = largest;
            largest = v;
        } else if (v > next) {
            next = v;
        }
    }
    SpikeScale out;
    if (next > 0 && largest > next * kSpike && next * kHeadroom > floor) {
        out.scale = next * kHeadroom;
        out.clipped = true;
    } else {
        out.scale = std::max(floor, largest);
    }
    return out;
}

} // namespace vellumkite
