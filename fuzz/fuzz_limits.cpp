// Any bytes as the status-line file, and as a line of the readings' journal.
#include "LimitReading.hpp"
#include "Limits.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
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
    // The same bytes as a line of the readings' journal: what is read is written back as a line
    // that reads the same.
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (const auto reading = LimitReading::parse(text)) {
        const std::string line = reading->line();
        const auto again = LimitReading::parse(std::string_view(line).substr(0, line.size() - 1));
        if (!again || again->windows.size() != reading->windows.size())
            std::abort();
        for (std::size_t i = 0; i < reading->windows.size(); ++i)
            if (again->windows[i].name != reading->windows[i].name ||
                again->windows[i].percent != reading->windows[i].percent)
                std::abort();
    }
    return 0;
}
