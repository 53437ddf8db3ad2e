#pragma once

#include <cstdint>
#include <string>

namespace vellumkite {

// One tool category's output over a range of time, weighted by how often it is re-read.
struct ToolEater {
    std::string category;
    std::int64_t calls = 0;
    std::int64_t tokens = 0;
    double weight = 0;
    std::int64_t biggest = 0;

    bool operator==(const ToolEater&) const = default;
};

} // namespace vellumkite
