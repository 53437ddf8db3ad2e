#include "Limits.hpp"

#include "FileTime.hpp"
#include "SmallFile.hpp"
#include "UserFolders.hpp"

#include <simdjson.h>
#include <string_view>

namespace vellumkite {

namespace {

std::optional<Limits::Window> readWindow(simdjson::dom::object rateLimits, std::string_view name,
                                         const Clock& clock) {
    simdjson::dom::object window;
    if (rateLimits[name].get_object().get(window) != simdjson::SUCCESS)
        return std::nullopt;
    double used = 0;
    double resets = 0;
    if (window["used_percentage"].get_double().get(used) != simdjson::SUCCESS ||
        window["resets_at"].get_double().get(resets) != simdjson::SUCCESS)
        return std::nullopt;
    const Limits::Window w{used, fromUnixSeconds(resets)};
    const Instant now = clock ? clock() : systemNow();
    // Once the reset time has come the window is over and its old percentage no longer applies.
    if (!(w.resetsAt > now))
        return std::nullopt;
    return w;
}

} // namespace

std::filesystem::path Limits::file() {
    const auto folder = UserFolders::appData();
    return folder.empty() ? folder : folder / "statusline.json";
}

std::optional<Limits> Limits::load(const std::filesystem::path& path, const Clock& clock) {
    if (path.empty())
        return std::nullopt;
    const SmallFile contents = SmallFile::read(path, kMaxFileSize);
    if (!contents)
        return std::nullopt;

    simdjson::dom::parser parser;
    simdjson::dom::element root;
    if (parser.parse(contents.bytes).get(root) != simdjson::SUCCESS)
        return std::nullopt;
    simdjson::dom::object top;
    if (root.get_object().get(top) != simdjson::SUCCESS)
        return std::nullopt;
    simdjson::dom::object rateLimits;
    if (top["rate_limits"].get_object().get(rateLimits) != simdjson::SUCCESS)
        return std::nullopt;

    Limits limits;
    limits.savedAt = modificationTime(contents.info);
    limits.fiveHour = readWindow(rateLimits, "five_hour", clock);
    limits.sevenDay = readWindow(rateLimits, "seven_day", clock);
    return limits;
}

} // namespace vellumkite
