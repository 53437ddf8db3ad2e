#include "LimitReading.hpp"

#include "JsonWriter.hpp"

#include <algorithm>
#include <cmath>
#include <simdjson.h>

namespace vellumkite {

namespace {

std::vector<LimitReading::Window> windowsOf(simdjson::dom::object rateLimits) {
    std::vector<LimitReading::Window> out;
    for (const auto field : rateLimits) {
        if (out.size() == LimitReading::kMaxWindows)
            break;
        simdjson::dom::object window;
        double percent = 0, resets = 0;
        if (field.key.empty() || field.key.size() > LimitReading::kMaxName ||
            field.value.get_object().get(window) != simdjson::SUCCESS ||
            window["used_percentage"].get_double().get(percent) != simdjson::SUCCESS ||
            window["resets_at"].get_double().get(resets) != simdjson::SUCCESS ||
            !std::isfinite(percent) || !std::isfinite(resets))
            continue;
        const std::string name(field.key);
        // A repeated key counts once, as its first value.
        if (std::none_of(out.begin(), out.end(), [&](const auto& w) { return w.name == name; }))
            out.push_back({name, percent, fromUnixSeconds(resets)});
    }
    return out;
}

bool rateLimitsOf(simdjson::dom::parser& parser, std::string_view text, simdjson::dom::object& top,
                  simdjson::dom::object& rateLimits) {
    simdjson::dom::element root;
    return parser.parse(text.data(), text.size()).get(root) == simdjson::SUCCESS &&
           root.get_object().get(top) == simdjson::SUCCESS &&
           top["rate_limits"].get_object().get(rateLimits) == simdjson::SUCCESS;
}

} // namespace

std::optional<LimitReading> LimitReading::fromLimitsFile(std::string_view text, Instant at) {
    simdjson::dom::parser parser;
    simdjson::dom::object top, rateLimits;
    if (!rateLimitsOf(parser, text, top, rateLimits))
        return std::nullopt;
    LimitReading out{at, windowsOf(rateLimits)};
    if (out.windows.empty())
        return std::nullopt;
    return out;
}

std::optional<LimitReading> LimitReading::parse(std::string_view line) {
    simdjson::dom::parser parser;
    simdjson::dom::object top, rateLimits;
    double at = 0;
    if (!rateLimitsOf(parser, line, top, rateLimits) ||
        top["at"].get_double().get(at) != simdjson::SUCCESS || !std::isfinite(at))
        return std::nullopt;
    LimitReading out{fromUnixSeconds(at), windowsOf(rateLimits)};
    if (out.windows.empty())
        return std::nullopt;
    return out;
}

std::string LimitReading::line() const {
    JsonWriter j;
    j.beginObject().key("at").number(toUnixSeconds(at));
    j.key("rate_limits").beginObject();
    for (const auto& w : windows) {
        j.key(w.name).beginObject();
        j.key("used_percentage").number(w.percent);
        j.key("resets_at").number(toUnixSeconds(w.resetsAt));
        j.endObject();
    }
    j.endObject().endObject();
    return j.text() + "\n";
}

bool LimitReading::sameWindows(const LimitReading& other) const {
    auto a = windows, b = other.windows;
    const auto byName = [](const Window& x, const Window& y) { return x.name < y.name; };
    std::sort(a.begin(), a.end(), byName);
    std::sort(b.begin(), b.end(), byName);
    return a == b;
}

} // namespace vellumkite
