#pragma once

#include <filesystem>
#include <string>

namespace vellumkite::bench {

// The limit readings' share of the work. What one percent costs, worked out from eight weeks of
// heavy use, against a floor of summing the same weeks' replies in one query; and a run of the
// status line, which now keeps a journal, against a shell that starts /bin/true on the same
// input.
void limitsBench(const std::filesystem::path& base, int runs, const std::string& statusline);

} // namespace vellumkite::bench
