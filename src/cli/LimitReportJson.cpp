#include "LimitReportJson.hpp"

#include "JsonWriter.hpp"
#include "Timestamp.hpp"

namespace vellumkite {

namespace {

void optionalNumber(JsonWriter& j, const std::optional<double>& value) {
    if (value)
        j.number(*value);
    else
        j.null();
}

} // namespace

std::string LimitReportJson::render(const LimitReport& report, std::string_view timezone) {
    JsonWriter j;
    j.beginObject();
    j.key("report").string("limits");
    j.key("timezone").string(timezone);
    j.key("since").string(report.since);
    j.key("until").string(report.until);
    j.key("windows").beginArray();
    for (const auto& w : report.windows) {
        const auto& readings = w.instance.readings;
        j.beginObject();
        j.key("name").string(w.instance.name);
        j.key("resetsAt").string(Timestamp::format(w.instance.resetsAt));
        j.key("first").string(Timestamp::format(readings.front().at));
        j.key("last").string(Timestamp::format(readings.back().at));
        j.key("peakPercent").number(w.instance.peak());
        j.key("readings").beginArray();
        for (const auto& r : readings)
            j.beginObject()
                .key("at")
                .string(Timestamp::format(r.at))
                .key("percent")
                .number(r.percent)
                .endObject();
        j.endArray();
        j.key("weight").number(w.usage.weight);
        j.key("cost");
        optionalNumber(j, w.usage.cost);
        j.endObject();
    }
    j.endArray();
    j.key("calibration").beginObject();
    for (const auto& [name, c] : report.calibration) {
        j.key(name).beginObject();
        j.key("weightPerPercent");
        optionalNumber(j, c.weightPerPercent());
        j.key("costPerPercent");
        optionalNumber(j, c.costPerPercent());
        j.key("spans").integer(c.spans);
        j.endObject();
    }
    j.endObject();
    j.key("projection").beginObject();
    for (const auto& p : report.projections) {
        j.key(p.window).beginObject();
        j.key("percent").number(p.percent);
        j.key("at").string(Timestamp::format(p.at));
        j.key("fullAt");
        if (p.fullAt)
            j.string(Timestamp::format(*p.fullAt));
        else
            j.null();
        j.key("resetsAt").string(Timestamp::format(p.resetsAt));
        j.endObject();
    }
    j.endObject();
    j.endObject();
    return j.text() + "\n";
}

} // namespace vellumkite
