#pragma once

#include <filesystem>
#include <string>

namespace vellumkite::bench {

// Several machines through one sync folder: ten machines of a year of daily use each (generated
// once under `base`), the first take-in of all ten into a new machine, `vellumkite-cli report
// daily` warm over all of them as a whole process, and publishing a year of one machine. With
// `peer` (another build's vellumkite-cli), the warm report of one machine with sync off is
// compared with that build's on the same history.
void syncBench(const std::filesystem::path& base, int runs, const std::string& cli,
               const std::string& peer);

} // namespace vellumkite::bench
