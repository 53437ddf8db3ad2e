#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <vector>

namespace vellumkite {

class History;

// Brings the history up to date with the logs, for a program that keeps no live figures (the
// terminal tool's reports). Reads in slices, each written in its own transaction, so that a kill
// loses at most one slice and progress can be shown.
struct HistoryUpdate {
    struct Progress {
        std::size_t filesDone = 0, filesTotal = 0;
        std::uint64_t bytesDone = 0, bytesTotal = 0;
    };
    using OnProgress = std::function<void(const Progress&)>;

    static constexpr std::uint64_t kSlice = std::uint64_t{256} << 20;

    // False when the history could not be written (see History::damaged()).
    static bool run(History& history, const std::vector<std::filesystem::path>& folders,
                    const OnProgress& onProgress = {}, std::uint64_t slice = kSlice);
};

} // namespace vellumkite
