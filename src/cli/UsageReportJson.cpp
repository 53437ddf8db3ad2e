#include "UsageReportJson.hpp"

#include "JsonWriter.hpp"
#include "Timestamp.hpp"

namespace vellumkite {

namespace {

void counts(JsonWriter& j, const UsageTotals& u) {
    j.key("input").integer(u.input);
    j.key("output").integer(u.output);
    j.key("cacheWrite").integer(u.cacheWrite);
    j.key("cacheRead").integer(u.cacheRead);
    j.key("totalTokens").integer(u.totalTokens());
    j.key("weight").number(u.weight());
    j.key("webSearches").integer(u.webSearches);
    j.key("fast").integer(u.fastReplies);
}

void cost(JsonWriter& j, const UsageReport::Cost& c) {
    j.key("cost");
    if (c.total)
        j.number(*c.total);
    else
        j.null();
    j.key("pricedCost").number(c.priced);
    j.key("fastUnpriced").integer(c.fastUnpriced);
}

// The fields every row, model row and the totals share.
void figures(JsonWriter& j, const UsageTotals& usage, const UsageReport::Cost& c) {
    counts(j, usage);
    cost(j, c);
}

} // namespace

std::string UsageReportJson::render(const UsageReport& report, std::string_view timezone,
                                    bool byModel, const std::vector<SyncMachine>& machines) {
    JsonWriter j;
    j.beginObject();
    j.key("report").string(UsageReport::nameOf(report.kind));
    j.key("timezone").string(timezone);
    j.key("since").string(report.since);
    j.key("until").string(report.until);
    j.key("rows").beginArray();
    for (const auto& row : report.rows) {
        j.beginObject().key("period").string(row.period);
        figures(j, row.usage, row.cost);
        j.key("models").beginArray();
        for (const auto& m : row.models)
            j.string(m);
        j.endArray();
        if (byModel) {
            j.key("byModel").beginArray();
            for (const auto& m : row.byModel) {
                j.beginObject().key("model").string(m.model);
                figures(j, m.usage, m.cost);
                j.endObject();
            }
            j.endArray();
        }
        j.endObject();
    }
    j.endArray();
    j.key("totals").beginObject();
    figures(j, report.totals, report.totalCost);
    j.endObject();
    j.key("unpricedModels").beginArray();
    for (const auto& m : report.unpricedModels)
        j.string(m);
    j.endArray();
    j.key("priceBook").string(report.priceBook);
    j.key("machines").beginArray();
    for (const auto& m : machines) {
        j.beginObject().key("id");
        if (m.id.empty())
            j.null();
        else
            j.string(m.id);
        j.key("name").string(m.name);
        j.key("lastPublished");
        if (m.published)
            j.string(Timestamp::format(*m.published));
        else
            j.null();
        j.key("replies").integer(m.replies);
        j.endObject();
    }
    j.endArray();
    j.endObject();
    return j.text() + "\n";
}

} // namespace vellumkite
