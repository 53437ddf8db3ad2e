#include "LimitBench.hpp"

#include "ChildRun.hpp"
#include "History.hpp"
#include "HistoryDatabase.hpp"
#include "HistoryQuery.hpp"
#include "LimitHistory.hpp"
#include "PriceTable.hpp"
#include "Stopwatch.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <vector>

namespace vellumkite::bench {

namespace {

namespace fs = std::filesystem;

constexpr int kDays = 56;

// Eight weeks of 16-hour days with a reply every 20 seconds, and the readings they would give:
// a 5-hour window from each day's first message rising a point every 1/100 of its replies, the
// week rising a point every 1/100 of its replies.
void generate(const fs::path& file, Instant now) {
    auto opened = HistoryDatabase::open(file);
    History history(std::move(*opened.db));
    const Instant start = addSeconds(now, -kDays * 86400.0);
    const int perDay = 16 * 3600 / 20;
    const int perFive = 5 * 3600 / 20;
    const int perWeek = perDay * 7;
    long serial = 0;
    Instant fiveReset = kDistantPast, weekReset = addSeconds(start, 7 * 86400.0);
    int inFive = 0, inWeek = 0;
    for (int day = 0; day < kDays; ++day) {
        for (int i = 0; i < perDay; ++i) {
            const Instant t = addSeconds(start, day * 86400.0 + 8 * 3600 + i * 20.0);
            if (!(t < fiveReset)) {
                fiveReset = addSeconds(t, 5 * 3600);
                inFive = 0;
            }
            if (!(t < weekReset)) {
                weekReset = addSeconds(weekReset, 7 * 86400.0);
                inWeek = 0;
            }
            TurnLine line;
            line.turn.key = std::string("m").append(std::to_string(++serial));
            line.turn.sessionId = std::string("s").append(std::to_string(day));
            line.turn.project = "/p";
            line.turn.model = serial % 3 ? "claude-sonnet-4-5" : "claude-opus-4-5";
            line.turn.time = t;
            line.turn.input = 50;
            line.turn.cacheRead = 60000 + i * 10;
            line.turn.cacheWrite = 800;
            line.turn.output = 400;
            history.take(line);
            const int fivePoint = ++inFive * 100 / perFive, weekPoint = ++inWeek * 100 / perWeek;
            if (fivePoint != (inFive - 1) * 100 / perFive ||
                weekPoint != (inWeek - 1) * 100 / perWeek)
                history.takeReading({addSeconds(t, 2),
                                     {{"five_hour", double(fivePoint), fiveReset},
                                      {"seven_day", double(weekPoint), weekReset}}});
        }
        if (!history.commit())
            std::fprintf(stderr, "limits: could not write the generated history\n");
    }
}

void calibration(const fs::path& base, int runs) {
    const fs::path file = base / "limits-history.sqlite3";
    const Instant now = addSeconds(systemNow(), -3600);
    if (!fs::exists(file))
        generate(file, now);
    auto opened = HistoryDatabase::open(file);
    const SqliteDatabase& db = *opened.db;
    const PriceTable prices = PriceTable::builtIn();
    std::optional<LimitRecord> record;
    std::vector<double> floor, work;
    for (int i = 0; i < std::max(runs, 5); ++i) {
        floor.push_back(Stopwatch::seconds([&] {
            const HistoryQuery q(db);
            (void)q.byModel(addSeconds(now, -14 * 86400.0), now);
            (void)q.byModel(addSeconds(now, -kDays * 86400.0), now);
        }));
        work.push_back(Stopwatch::seconds([&] { record = LimitHistory(db).record(prices, now); }));
    }
    // What the app pays after each new reading: the spans of earlier passes are kept.
    LimitHistory::SpanCache cache;
    (void)LimitHistory(db).record(prices, now, &cache);
    std::vector<double> again;
    for (int i = 0; i < std::max(runs, 5); ++i)
        again.push_back(
            Stopwatch::seconds([&] { (void)LimitHistory(db).record(prices, now, &cache); }));
    // What the terminal tool's json and status pay: the 5-hour window's alone, afresh.
    std::vector<double> fiveHour;
    for (int i = 0; i < std::max(runs, 5); ++i)
        fiveHour.push_back(Stopwatch::seconds(
            [&] { (void)LimitHistory(db).record(prices, now, nullptr, "five_hour"); }));
    const auto replies = db.queryInteger("SELECT count(*) FROM replies").value_or(0);
    const auto readings = db.queryInteger("SELECT count(*) FROM readings").value_or(0);
    std::printf("limits: calibration over %lld replies and %lld readings (%lld and %lld spans): "
                "median %.1f ms, %.2fx the floor of summing the same weeks in one query (%.1f "
                "ms; target < 3x)\n",
                static_cast<long long>(replies), static_cast<long long>(readings),
                record ? static_cast<long long>(record->calibration["five_hour"].spans) : -1LL,
                record ? static_cast<long long>(record->calibration["seven_day"].spans) : -1LL,
                Stopwatch::median(work) * 1e3, Stopwatch::median(work) / Stopwatch::median(floor),
                Stopwatch::median(floor) * 1e3);
    std::printf("limits: the same again with the spans worked out before kept, as the app does "
                "after each new reading: median %.1f ms, %.2fx the floor (target < 0.5x)\n",
                Stopwatch::median(again) * 1e3,
                Stopwatch::median(again) / Stopwatch::median(floor));
    std::printf("limits: the 5-hour window's alone, afresh, as json and status work it out: "
                "median %.1f ms, %.2fx the floor (target < 1x)\n",
                Stopwatch::median(fiveHour) * 1e3,
                Stopwatch::median(fiveHour) / Stopwatch::median(floor));
}

void statusLine(const fs::path& base, int runs, const std::string& program) {
    const fs::path home = base / "limits-home";
    fs::remove_all(home);
    fs::create_directories(home);
    const double now = toUnixSeconds(systemNow());
    const auto input = [&](int percent) {
        const fs::path p =
            home / std::string("input-").append(std::to_string(percent)).append(".json");
        std::ofstream(p) << R"({"rate_limits":{"five_hour":{"used_percentage":)" << percent
                         << R"(,"resets_at":)" << static_cast<long long>(now) + 7200
                         << R"(},"seven_day":{"used_percentage":18,"resets_at":)"
                         << static_cast<long long>(now) + 300000
                         << R"(}},"context_window":{"current_usage":{"input_tokens":12}}})";
        return p.string();
    };
    const std::vector<std::pair<std::string, std::string>> env = {
        {"HOME", home.string()}, {"XDG_DATA_HOME", (home / "data").string()}};
    const auto cpu = [&](const std::string& command) {
        const auto o = ChildRun::run({"sh", "-c", command}, env, (home / "errors").string());
        return o.cpu;
    };
    std::vector<double> floor, same, changed;
    const std::string first = input(0);
    for (int i = 0; i < std::max(runs, 5) * 20; ++i) {
        floor.push_back(cpu("exec /bin/true < " + first));
        same.push_back(cpu("exec " + program + " < " + first + " > /dev/null"));
        // A new reading every time: the file replaced and a line for the journal.
        changed.push_back(cpu("exec " + program + " < " + input(1 + i % 90) + " > /dev/null"));
        (void)cpu("exec " + program + " < " + first + " > /dev/null");
    }
    std::printf("limits: status line run, median CPU %.2f ms with the reading unchanged, %.2f ms "
                "with a new one (its journal line included); starting /bin/true the same way "
                "%.2f ms (target: < 3 ms more than that)\n",
                Stopwatch::median(same) * 1e3, Stopwatch::median(changed) * 1e3,
                Stopwatch::median(floor) * 1e3);
}

} // namespace

void limitsBench(const fs::path& base, int runs, const std::string& statusline) {
    calibration(base, runs);
    statusLine(base, runs, statusline);
}

} // namespace vellumkite::bench
