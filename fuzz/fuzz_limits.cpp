// Any bytes as the status-line file.
#include "Limits.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

using namespace vellumkite;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path =
        (std::filesystem::temp_directory_path() /
         ("vellumkite-fuzz-limits-" + std::to_string(::getpid()) + ".json"))
            .string();
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    const Instant now = fromUnixSeconds(1'750'000'000);
    const auto limits = Limits::load(path, [&] { return now; });
    if (limits) {
        // A window is present only while its reset lies ahead, and only as a true reading.
        for (const auto& w : {limits->fiveHour, limits->sevenDay})
            if (w && (!(w->resetsAt > now) || w->resetsAt > now + Limits::kMaxAhead ||
                      !(w->usedPercent >= 0 && w->usedPercent <= Limits::kMaxPercent)))
                std::abort();
    }
    return 0;
}
