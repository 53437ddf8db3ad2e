#include "Limits.hpp"

#include "FileTime.hpp"
#include "JsonWriter.hpp"
#include "SmallFile.hpp"
#include "UserFolders.hpp"

#include <chrono>
#include <simdjson.h>
#include <string_view>

namespace vellumkite {

namespace {

struct WindowKind {
    std::string_view name;
    std::chrono::seconds length;
};
constexpr WindowKind kWindows[] = {{"five_hour", std::chrono::hours(5)},
                                   {"seven_day", std::chrono::hours(7 * 24)}};

std::string number(double value) {
    std::string out;
    JsonWriter::appendNumber(out, value);
    return out;
}

// Why a window's values cannot be a true reading taken at `at` (the past bound only when
// `past`); empty when they can. Members that are missing or not numbers are not judged here:
// such a window is only left out.
std::string implausible(simdjson::dom::object rateLimits, const WindowKind& kind, Instant at,
                        bool past) {
    simdjson::dom::object window;
    if (rateLimits[kind.name].get_object().get(window) != simdjson::SUCCESS)
        return "";
    const std::string name(kind.name);
    double used = 0;
    if (window["used_percentage"].get_double().get(used) == simdjson::SUCCESS &&
        !(used >= 0 && used <= Limits::kMaxPercent))
        return name + ".used_percentage " + number(used) + " is outside 0 to 1000";
    double resets = 0;
    if (window["resets_at"].get_double().get(resets) != simdjson::SUCCESS)
        return "";
    const Instant reset = fromUnixSeconds(resets);
    if (reset > at + Limits::kMaxAhead)
        return name + ".resets_at " + number(resets) + " is more than 8 days ahead";
    if (past && reset < at - kind.length)
        return name + ".resets_at " + number(resets) +
               " is further in the past than the window is long";
    return "";
}

std::optional<Limits::Window> readWindow(simdjson::dom::object rateLimits, const WindowKind& kind,
                                         Instant now) {
    simdjson::dom::object window;
    if (rateLimits[kind.name].get_object().get(window) != simdjson::SUCCESS)
        return std::nullopt;
    double used = 0;
    double resets = 0;
    if (window["used_percentage"].get_double().get(used) != simdjson::SUCCESS ||
        window["resets_at"].get_double().get(resets) != simdjson::SUCCESS)
        return std::nullopt;
    // A window the status line would not have saved (a file from before it checked) is not
    // believed either.
    if (!implausible(rateLimits, kind, now, false).empty())
        return std::nullopt;
    const Limits::Window w{used, fromUnixSeconds(resets)};
    // Once the reset time has come the window is over and its old percentage no longer applies.
    if (!(w.resetsAt > now))
        return std::nullopt;
    return w;
}

// The rate_limits object of the file's text; false when there is none.
bool rateLimitsOf(simdjson::dom::parser& parser, std::string_view text,
                  simdjson::dom::object& rateLimits) {
    simdjson::dom::element root;
    simdjson::dom::object top;
    return parser.parse(text.data(), text.size()).get(root) == simdjson::SUCCESS &&
           root.get_object().get(top) == simdjson::SUCCESS &&
           top["rate_limits"].get_object().get(rateLimits) == simdjson::SUCCESS;
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
    simdjson::dom::object rateLimits;
    if (!rateLimitsOf(parser, contents.bytes, rateLimits))
        return std::nullopt;

    const Instant now = clock ? clock() : systemNow();
    Limits limits;
    limits.savedAt = modificationTime(contents.info);
    limits.fiveHour = readWindow(rateLimits, kWindows[0], now);
    limits.sevenDay = readWindow(rateLimits, kWindows[1], now);
    return limits;
}

std::optional<std::string> Limits::refusal(std::string_view text, Instant now) {
    if (text.size() > kMaxFileSize)
        return "the reading takes " + std::to_string(text.size()) +
               " bytes, over the 1 MiB a reading may take";
    simdjson::dom::parser parser;
    simdjson::dom::object rateLimits;
    if (!rateLimitsOf(parser, text, rateLimits))
        return std::nullopt; // nothing to save anyway
    for (const auto& kind : kWindows)
        if (auto why = implausible(rateLimits, kind, now, true); !why.empty())
            return why;
    return std::nullopt;
}

} // namespace vellumkite
