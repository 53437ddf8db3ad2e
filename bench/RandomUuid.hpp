#pragma once

#include <random>
#include <string>

namespace vellumkite::bench {

// A version-4 UUID as the logs write them, drawn from `rng` so that a seed gives the same tree.
std::string randomUuid(std::mt19937_64& rng);

} // namespace vellumkite::bench
