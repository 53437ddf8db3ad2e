#pragma once

// A home folder of its own for each test, and the environment that points the programs at it.
#include "LogLines.hpp"
#include "Programs.hpp"
#include "TempDir.hpp"
#include "Time.hpp"
#include "Timestamp.hpp"

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

namespace vellumkite::testing {

// The programs under test, as built.
#ifdef VELLUMKITE_CLI_PATH
inline const std::string kCli = VELLUMKITE_CLI_PATH;
#endif
#ifdef VELLUMKITE_STATUSLINE_PATH
inline const std::string kStatusLine = VELLUMKITE_STATUSLINE_PATH;
#endif

// Whether a program's output says `part`.
inline bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// A fixed-offset zone in which it is now between 12:00 and 13:00, so that "today" holds the last
// few hours whenever the tests run.
inline std::string noonTimeZone() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    const int east = 12 - utc.tm_hour; // -11 .. 12
    // POSIX zones count hours west of UTC.
    return "VKT" + std::to_string(-east);
}

// An RFC 3339 time `secondsAgo` before now, in UTC with milliseconds.
inline std::string isoAgo(double secondsAgo) {
    return Timestamp::format(addSeconds(systemNow(), -secondsAgo));
}

// Unix seconds an hour from now: a reset time as the assistant sends it.
inline std::string resetsInAnHour() {
    return std::to_string(static_cast<long long>(toUnixSeconds(systemNow())) + 3600);
}

struct TestHome {
    TempDir dir;
    Programs programs{
        {"HOME=" + dir.path().string(), "XDG_CONFIG_HOME=" + (dir / ".config").string(),
         "XDG_DATA_HOME=" + (dir / ".local/share").string(), "PATH=/usr/local/bin:/usr/bin:/bin",
         "TZ=" + noonTimeZone(), "LANG=en_US.UTF-8"}};

    std::filesystem::path limitsFile() const {
        return dir / ".local/share/Vellumkite/statusline.json";
    }
    std::filesystem::path journal() const {
        return dir / ".local/share/Vellumkite/limit-readings.jsonl";
    }
    std::vector<std::string> journalLines() const {
        std::vector<std::string> out;
        const std::string text = readFile(journal());
        for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos;
             at = end + 1)
            out.push_back(text.substr(at, end - at));
        return out;
    }
    std::filesystem::path chatFile(const std::string& session) const {
        return dir / ".claude/projects/-home-you-project" / (session + ".jsonl");
    }
    void preferences(const std::string& json) const {
        writeFile(dir / ".config/Vellumkite/preferences.json", json);
    }
};

} // namespace vellumkite::testing
