#include "LimitReportText.hpp"

#include "Format.hpp"
#include "LocalDate.hpp"
#include "StatusScreen.hpp"
#include "TimeOfDay.hpp"

#include <algorithm>
#include <vector>

namespace vellumkite {

namespace {

// "2026-12-07 14:05" in the process's zone; the day left out when it is `sameDay`'s.
std::string localTime(Instant t, const std::string& sameDay = {}) {
    static const TimeOfDayFormatter timeOfDay = defaultTimeOfDay();
    const std::string day = LocalDate::of(t).text();
    return day == sameDay ? timeOfDay(t) : day + " " + timeOfDay(t);
}

std::string pad(const std::string& text, std::size_t width, bool left) {
    const std::size_t n = StatusScreen::columns(text);
    const std::string fill(width > n ? width - n : 0, ' ');
    return left ? text + fill : fill + text;
}

std::string weight(double w) {
    return Format::grouped(Format::rounded(w).value_or(0));
}

std::string calibrationLine(const std::string& name, const LimitCalibration& c) {
    const std::string days =
        LimitCalibration::lookbackSeconds(name) < 15 * 86400 ? "14 days" : "8 weeks";
    const std::string spans =
        std::to_string(c.spans) + (c.spans == 1 ? " span" : " spans") + " in the last " + days;
    const std::string head = "One percent of the " + WindowInstance::label(name) + " limit: ";
    if (!c.known())
        return head + "not known yet (" + spans + "; it takes " +
               std::to_string(LimitCalibration::kMinSpans) + ")\n";
    return head + weight(*c.weightPerPercent()) + " weight, " +
           Format::smallDollars(c.costPerPercent()) + " (" + spans + ")\n";
}

std::string projectionLine(const LimitProjection& p) {
    const std::string day = LocalDate::of(p.at).text();
    std::string out = WindowInstance::label(p.window) + " limit: " + Format::percent(p.percent) +
                      " at " + localTime(p.at) + ", ";
    out += p.fullAt ? "full at " + localTime(*p.fullAt, day) + ", before it resets at "
                    : "not full before it resets at ";
    return out + localTime(p.resetsAt, day) + "\n";
}

} // namespace

std::string LimitReportText::render(const LimitReport& report, bool colour) {
    std::string out;
    if (report.windows.empty()) {
        out += "No limit readings between " + report.since + " and " + report.until + ".\n";
    } else {
        const std::vector<std::string> headers = {
            "Window", "Resets", "First reading", "Last reading", "Peak", "Weight", "Cost"};
        std::vector<std::vector<std::string>> rows;
        for (const auto& w : report.windows) {
            const auto& r = w.instance.readings;
            const std::string firstDay = LocalDate::of(r.front().at).text();
            rows.push_back({WindowInstance::label(w.instance.name), localTime(w.instance.resetsAt),
                            localTime(r.front().at), localTime(r.back().at, firstDay),
                            Format::percent(w.instance.peak()), weight(w.usage.weight),
                            Format::dollars(w.usage.cost)});
        }
        std::vector<std::size_t> widths;
        for (std::size_t c = 0; c < headers.size(); ++c) {
            std::size_t width = StatusScreen::columns(headers[c]);
            for (const auto& row : rows)
                width = std::max(width, StatusScreen::columns(row[c]));
            widths.push_back(width);
        }
        // Names and times read from the left, figures from the right.
        const auto line = [&](const std::vector<std::string>& cells) {
            std::string text;
            for (std::size_t c = 0; c < cells.size(); ++c) {
                if (c)
                    text += "  ";
                text += pad(cells[c], widths[c], c < 4);
            }
            while (!text.empty() && text.back() == ' ')
                text.pop_back();
            return text + "\n";
        };
        const std::string header = line(headers);
        out += colour ? "\033[1m" + header.substr(0, header.size() - 1) + "\033[0m\n" : header;
        for (const auto& row : rows)
            out += line(row);
    }
    if (!report.calibration.empty())
        out += "\n";
    for (const auto& [name, c] : report.calibration)
        out += calibrationLine(name, c);
    if (!report.projections.empty())
        out += "\n";
    for (const auto& p : report.projections)
        out += projectionLine(p);
    return out;
}

} // namespace vellumkite
