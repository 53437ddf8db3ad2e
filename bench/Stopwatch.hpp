#pragma once

#include <algorithm>
#include <chrono>
#include <functional>
#include <vector>

namespace vellumkite::bench {

// Wall seconds of one run of `f`, and the middle of several such figures.
struct Stopwatch {
    static double seconds(const std::function<void()>& f) {
        const auto t0 = std::chrono::steady_clock::now();
        f();
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    }
    static double median(std::vector<double> v) {
        if (v.empty())
            return 0;
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    }
};

} // namespace vellumkite::bench
