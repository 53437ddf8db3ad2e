#include "UsageReportText.hpp"

#include "Format.hpp"
#include "StatusScreen.hpp"

#include <algorithm>
#include <functional>

namespace vellumkite {

namespace {

struct Cells {
    std::string label;
    const UsageTotals* usage;
    std::optional<double> cost;
    bool strong = false; // the totals row
    bool sub = false;    // a model under its period
};

struct Column {
    std::string header;
    int keep; // columns with a lower number go last when the width is short
    std::function<std::string(const Cells&)> cell;
};

// Indexed by UsageReport::Kind.
constexpr const char* kPeriodHeaders[] = {"Day", "Week", "Month", "Chat", "Project", "Model"};

std::string periodHeader(UsageReport::Kind kind) {
    return kPeriodHeaders[static_cast<std::size_t>(kind)];
}

std::string pad(const std::string& text, std::size_t width, bool left) {
    const std::size_t n = StatusScreen::columns(text);
    const std::string fill(width > n ? width - n : 0, ' ');
    return left ? text + fill : fill + text;
}

} // namespace

std::string UsageReportText::render(const UsageReport& report, const Style& style, bool byModel) {
    if (report.rows.empty())
        return "No usage between " + report.since + " and " + report.until + ".\n";

    const auto whole = [](std::int64_t UsageTotals::*field) {
        return [field](const Cells& c) { return Format::grouped(c.usage->*field); };
    };
    std::vector<Column> columns = {
        {"Input", 3, whole(&UsageTotals::input)},
        {"Output", 4, whole(&UsageTotals::output)},
        {"Cache write", 2, whole(&UsageTotals::cacheWrite)},
        {"Cache read", 1, whole(&UsageTotals::cacheRead)},
        {"Total tokens", 7, [](const Cells& c) { return Format::grouped(c.usage->totalTokens()); }},
        {"Weight", 6,
         [](const Cells& c) {
             return Format::grouped(Format::rounded(c.usage->weight()).value_or(0));
         }},
        {"Cost", 5, [](const Cells& c) { return Format::dollars(c.cost); }},
    };

    std::vector<Cells> lines;
    for (const auto& row : report.rows) {
        lines.push_back({row.period, &row.usage, row.cost});
        if (byModel)
            for (const auto& m : row.byModel)
                lines.push_back({"  " + m.model, &m.usage, m.cost, false, true});
    }
    lines.push_back({"Total", &report.totals, report.totalCost, true});

    // Each column's width, then drop columns until the table fits.
    std::vector<std::size_t> widths;
    for (const auto& col : columns) {
        std::size_t w = col.header.size();
        for (const auto& l : lines)
            w = std::max(w, StatusScreen::columns(col.cell(l)));
        widths.push_back(w);
    }
    std::size_t labelWidth = StatusScreen::columns(periodHeader(report.kind));
    for (const auto& l : lines)
        labelWidth = std::max(labelWidth, StatusScreen::columns(l.label));
    constexpr std::size_t kGap = 2;
    // Labels (long project paths, chat ids) give way down to this before columns go.
    const std::size_t minLabel = std::min<std::size_t>(labelWidth, 14);
    const auto numbersWidth = [&] {
        std::size_t w = 0;
        for (const auto width : widths)
            w += kGap + width;
        return w;
    };
    if (style.width > 0) {
        const auto limit = static_cast<std::size_t>(style.width);
        while (columns.size() > 1 && minLabel + numbersWidth() > limit) {
            const auto drop =
                std::min_element(columns.begin(), columns.end(),
                                 [](const Column& a, const Column& b) { return a.keep < b.keep; });
            widths.erase(widths.begin() + (drop - columns.begin()));
            columns.erase(drop);
        }
        if (labelWidth + numbersWidth() > limit)
            labelWidth = std::max(minLabel, limit > numbersWidth() ? limit - numbersWidth() : 0);
    }

    const auto styled = [&](const std::string& text, const char* code) {
        return style.colour && code ? "\033[" + std::string(code) + "m" + text + "\033[0m" : text;
    };
    std::string out;
    std::string header = pad(periodHeader(report.kind), labelWidth, true);
    for (std::size_t i = 0; i < columns.size(); ++i)
        header += std::string(kGap, ' ') + pad(columns[i].header, widths[i], false);
    out += styled(header, "1") + "\n";
    for (const auto& l : lines) {
        std::string text = pad(StatusScreen::fit(l.label, labelWidth), labelWidth, true);
        for (std::size_t i = 0; i < columns.size(); ++i)
            text += std::string(kGap, ' ') + pad(columns[i].cell(l), widths[i], false);
        out += styled(text, l.strong ? "1" : l.sub ? "2" : nullptr) + "\n";
    }
    if (!report.unpricedModels.empty()) {
        std::string names;
        for (const auto& m : report.unpricedModels)
            names += (names.empty() ? "" : ", ") + m;
        out += "No price for " + names + ": their cost shows as " + std::string(Format::kNoValue) +
               ".\n";
    }
    return out;
}

} // namespace vellumkite
