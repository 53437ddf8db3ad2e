#include "SnapshotJson.hpp"

#include "Format.hpp"
#include "JsonWriter.hpp"
#include "Timestamp.hpp"

namespace vellumkite {

namespace {

void window(JsonWriter& w, const std::optional<Limits::Window>& win) {
    if (!win) {
        w.null();
        return;
    }
    w.beginObject();
    w.key("usedPercent").number(win->usedPercent);
    w.key("resetsAt").string(Timestamp::format(win->resetsAt));
    w.endObject();
}

void chat(JsonWriter& w, const ChatSummary& c) {
    w.beginObject();
    w.key("sessionId").string(c.sessionId);
    w.key("project").string(c.project);
    w.key("lastTime").string(Timestamp::format(c.lastTime));
    w.key("replies").integer(c.replies);
    w.key("size").integer(c.size);
    w.key("weight").number(c.weight);
    w.key("output").integer(c.output);
    w.endObject();
}

void percentPerMessage(JsonWriter& w, const Snapshot& s) {
    w.key("percentPerMessage");
    if (s.percentPerMessage)
        w.number(*s.percentPerMessage);
    else
        w.null();
}

} // namespace

std::string SnapshotJson::full(const Snapshot& s) {
    JsonWriter w;
    w.beginObject();
    // Only the result of a finished pass is ever written.
    w.key("loaded").boolean(true);
    w.key("menuTitle").string(menuTitle(true, s));
    w.key("limits");
    if (s.limits) {
        w.beginObject();
        w.key("fiveHour");
        window(w, s.limits->fiveHour);
        w.key("sevenDay");
        window(w, s.limits->sevenDay);
        w.key("savedAt").string(Timestamp::format(s.limits->savedAt));
        w.endObject();
    } else {
        w.null();
    }
    w.key("currentChat");
    if (s.currentChat)
        chat(w, *s.currentChat);
    else
        w.null();
    w.key("topChats").beginArray();
    for (const auto& c : s.topChats)
        chat(w, c);
    w.endArray();
    w.key("toolEaters").beginArray();
    for (const auto& e : s.toolEaters) {
        w.beginObject();
        w.key("category").string(e.category);
        w.key("calls").integer(e.calls);
        w.key("tokens").integer(e.tokens);
        w.key("weight").number(e.weight);
        w.key("biggest").integer(e.biggest);
        w.endObject();
    }
    w.endArray();
    w.key("todayWeight").number(s.todayWeight);
    w.key("burnPerMin").number(s.burnPerMin);
    w.key("sparkline").beginArray();
    for (const double v : s.sparkline)
        w.number(v);
    w.endArray();
    w.key("tips").beginArray();
    for (const auto& t : s.tips) {
        w.beginObject();
        w.key("rule").string(t.rule);
        w.key("level").string(Tip::levelName(t.level));
        w.key("title").string(t.title);
        w.key("text").string(t.text);
        w.key("notifyKey");
        if (t.notifyKey)
            w.string(*t.notifyKey);
        else
            w.null();
        w.endObject();
    }
    w.endArray();
    percentPerMessage(w, s);
    w.endObject();
    return w.text();
}

std::string SnapshotJson::waybar(const Snapshot& s, const std::string& chatText) {
    const auto tip = s.tip();
    std::string tooltip;
    if (tip)
        tooltip = tip->title + "\n" + tip->text + "\n";
    tooltip += chatText;
    const char* cls = "ok";
    if (tip && tip->level == Tip::Level::warn)
        cls = "warn";
    else if (tip && tip->level == Tip::Level::alert)
        cls = "alert";

    JsonWriter w;
    w.beginObject();
    w.key("text").string(menuTitle(true, s));
    w.key("tooltip").string(tooltip);
    w.key("class").string(cls);
    if (s.limits && s.limits->fiveHour)
        if (const auto p = Format::rounded(s.limits->fiveHour->usedPercent))
            w.key("percentage").integer(*p);
    percentPerMessage(w, s);
    w.endObject();
    return w.text();
}

} // namespace vellumkite
