#pragma once

#include <vector>

namespace vellumkite {

// The value a bar chart's height stands for. Usually the largest value, but one that towers
// over all the others (a single huge reply) would flatten them into the baseline: then the scale
// is cut to half again the next largest value, and that one bar is drawn clipped, with a mark.
struct SpikeScale {
    // A value this many times the next largest is a spike.
    static constexpr double kSpike = 4;
    // The cut scale: the next largest value times this.
    static constexpr double kHeadroom = 1.5;

    double scale = 1; // never below the floor given
    bool clipped = false;

    // Values that are not finite or not positive count as zero.
    static SpikeScale of(const std::vector<double>& values, double floor);
    // Whether a value reaches past the scale (and its bar is clipped).
    bool clips(double value) const { return clipped && value > scale; }
};

} // namespace vellumkite
