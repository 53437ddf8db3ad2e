#include "DaySums.hpp"

#include "PromptBands.hpp"
#include "SqlText.hpp"

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <limits>
#include <map>
#include <tuple>

namespace vellumkite {

namespace {

constexpr std::int64_t kQuarterMicros = 900000000;
constexpr std::int64_t kClean = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kEverything = std::numeric_limits<std::int64_t>::min();

std::int64_t dayNumber(const LocalDate& d) {
    return std::chrono::sys_days{d.ymd}.time_since_epoch().count();
}

LocalDate dateOf(std::int64_t day) {
    return LocalDate{std::chrono::year_month_day{
        std::chrono::sys_days{std::chrono::days{static_cast<int>(day)}}}};
}

std::int64_t firstQuarterOf(const LocalDate& d) {
    return d.start().time_since_epoch().count() / kQuarterMicros;
}

// (local day, UTC day, model, fast, US-only, prompt floor)
using Key =
    std::tuple<std::int64_t, std::int64_t, std::int64_t, std::int64_t, std::int64_t, std::int64_t>;
using Days = std::map<Key, UsageTotals>;

// Adds the quarter hours of the scope from `fromQuarter` on into days. Rows come in quarter
// order, so that the local day is looked up once a day, not once a row.
bool addQuarters(const SqliteDatabase& db, MachineScope scope, std::int64_t fromQuarter,
                 std::int64_t toQuarter, Days& days) {
    std::vector<std::string> sources;
    if (scope.kind != MachineScope::Kind::other)
        sources.push_back("quarters q WHERE 1");
    if (scope.kind == MachineScope::Kind::every)
        sources.push_back("peer_quarters q WHERE 1");
    if (scope.kind == MachineScope::Kind::other)
        sources.push_back("machine_quarters q WHERE q.machine = ?3");
    for (const auto& source : sources) {
        auto s = db.prepare("SELECT quarter, model, fast, us_only, prompt_floor, input, output, "
                            "cache_write, cache_write_1h, cache_read, web_searches, replies FROM " +
                            source + " AND q.quarter >= ?1 AND q.quarter < ?2 ORDER BY q.quarter");
        s.bind(1, fromQuarter).bind(2, toQuarter);
        if (scope.kind == MachineScope::Kind::other)
            s.bind(3, scope.machine);
        std::int64_t dayStart = 1, dayEnd = 0, day = 0; // the local day of the last row
        SqliteStatement::Step step;
        while ((step = s.step()) == SqliteStatement::Step::row) {
            const std::int64_t quarter = s.integer(0);
            if (quarter < dayStart || quarter >= dayEnd) {
                const auto date =
                    LocalDate::of(Instant{std::chrono::microseconds(quarter * kQuarterMicros)});
                day = dayNumber(date);
                dayStart = firstQuarterOf(date);
                dayEnd = firstQuarterOf(date.plusDays(1));
            }
            days[Key{day, quarter / 96, s.integer(1), s.integer(2), s.integer(3), s.integer(4)}] +=
                SqlText::sumsAt(s, 5);
        }
        if (step != SqliteStatement::Step::done)
            return false;
    }
    return true;
}

// The kept days of every machine brought up to date for the zone; false when the history
// could not be written.
bool refresh(const SqliteDatabase& db, const std::string& zone) {
    if (!db.exec("BEGIN IMMEDIATE"))
        return false;
    bool ok = true;
    auto state = db.prepare("SELECT dirty_from FROM day_zones WHERE zone = ?1");
    state.bind(1, std::string_view(zone));
    std::int64_t dirty = kEverything;
    if (state.step() == SqliteStatement::Step::row) {
        dirty = state.integer(0);
        state.reset();
    } else {
        state.reset();
        // A new zone: the one used longest ago makes room.
        auto add = db.prepare("INSERT INTO day_zones VALUES (?1, ?2, 0)");
        add.bind(1, std::string_view(zone)).bind(2, kEverything);
        const auto zones = db.queryInteger("SELECT count(*) FROM day_zones").value_or(0);
        ok = (zones < static_cast<std::int64_t>(DaySums::kZones) ||
              db.exec("DELETE FROM day_sums WHERE zone = (SELECT zone FROM day_zones "
                      "ORDER BY used LIMIT 1); DELETE FROM day_zones WHERE zone = (SELECT zone "
                      "FROM day_zones ORDER BY used LIMIT 1);")) &&
             add.run();
    }
    if (ok && dirty != kClean) {
        std::int64_t fromDay = std::numeric_limits<std::int64_t>::min();
        std::int64_t fromQuarter = kEverything;
        if (dirty != kEverything) {
            const auto date =
                LocalDate::of(Instant{std::chrono::microseconds(dirty * kQuarterMicros)});
            fromDay = dayNumber(date);
            fromQuarter = firstQuarterOf(date);
        }
        Days days;
        auto drop = db.prepare("DELETE FROM day_sums WHERE zone = ?1 AND day >= ?2");
        drop.bind(1, std::string_view(zone)).bind(2, fromDay);
        ok = drop.run() && addQuarters(db, MachineScope::every(), fromQuarter,
                                       std::numeric_limits<std::int64_t>::max(), days);
        auto put = db.prepare(
            "INSERT INTO day_sums VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, "
            "?14)");
        for (auto it = days.begin(); ok && it != days.end(); ++it) {
            const auto& [day, utcDay, model, fast, usOnly, floor] = it->first;
            const auto& v = it->second;
            put.bind(1, std::string_view(zone))
                .bind(2, day)
                .bind(3, utcDay)
                .bind(4, model)
                .bind(5, fast)
                .bind(6, usOnly)
                .bind(7, floor)
                .bind(8, v.input)
                .bind(9, v.output)
                .bind(10, v.cacheWrite)
                .bind(11, v.cacheWrite1h)
                .bind(12, v.cacheRead)
                .bind(13, v.webSearches)
                .bind(14, v.replies);
            ok = put.run();
        }
        auto done = db.prepare("UPDATE day_zones SET dirty_from = ?2, used = ?3 WHERE zone = ?1");
        done.bind(1, std::string_view(zone))
            .bind(2, kClean)
            .bind(3, static_cast<std::int64_t>(std::time(nullptr)));
        ok = ok && done.run();
    }
    if (ok && db.exec("COMMIT"))
        return true;
    (void)db.exec("ROLLBACK");
    return false;
}

bool clean(const SqliteDatabase& db, const std::string& zone) {
    auto s = db.prepare("SELECT dirty_from FROM day_zones WHERE zone = ?1");
    s.bind(1, std::string_view(zone));
    const bool out = s.step() == SqliteStatement::Step::row && s.integer(0) == kClean;
    s.reset();
    return out;
}

} // namespace

std::string DaySums::zone() {
    std::string name = "TZ=";
    if (const char* tz = std::getenv("TZ"); tz)
        name.append(tz);
    else {
        std::error_code ec;
        name = std::filesystem::read_symlink("/etc/localtime", ec).string();
    }
    // The offsets in winter and summer, now and long ago.
    for (const std::time_t t : {std::time_t{948000000}, std::time_t{963000000},
                                std::time_t{1768000000}, std::time_t{1784000000}}) {
        std::tm local{};
        localtime_r(&t, &local);
        name += '|';
        name += std::to_string(local.tm_gmtoff);
    }
    return name;
}

std::optional<std::vector<DaySums::Row>> DaySums::read(const SqliteDatabase& db, MachineScope scope,
                                                       std::optional<LocalDate> first,
                                                       std::optional<LocalDate> last) {
    const auto bands = PromptBands::read(db);
    if (!bands)
        return std::nullopt;
    const std::int64_t from = first ? dayNumber(*first) : std::numeric_limits<int>::min();
    const std::int64_t to = last ? dayNumber(*last) : std::numeric_limits<int>::max();
    std::vector<Row> out;
    const auto row = [&](std::int64_t day, std::int64_t utcDay, std::string model,
                         std::int64_t fast, std::int64_t usOnly, std::int64_t floor,
                         UsageTotals usage) {
        UsageClass c;
        c.day = utcDay;
        c.fast = fast != 0;
        c.usOnly = usOnly != 0;
        c.promptAbove = floor;
        c.promptAtMost = PromptBands::ceilingOf(*bands, floor);
        usage.fastReplies = c.fast ? usage.replies : 0;
        out.push_back({dateOf(day), std::move(model), c, usage});
    };

    const std::string zone = DaySums::zone();
    if (scope.kind == MachineScope::Kind::every && (clean(db, zone) || refresh(db, zone))) {
        auto s = db.prepare("SELECT d.day, d.utc_day, m.text, d.fast, d.us_only, d.prompt_floor, "
                            "d.input, d.output, d.cache_write, d.cache_write_1h, d.cache_read, "
                            "d.web_searches, d.replies FROM day_sums d JOIN names m ON m.id = "
                            "d.model WHERE d.zone = ?1 AND d.day >= ?2 AND d.day <= ?3");
        s.bind(1, std::string_view(zone)).bind(2, from).bind(3, to);
        SqliteStatement::Step step;
        while ((step = s.step()) == SqliteStatement::Step::row) {
            row(s.integer(0), s.integer(1), s.text(2), s.integer(3), s.integer(4), s.integer(5),
                SqlText::sumsAt(s, 6));
        }
        if (step != SqliteStatement::Step::done)
            return std::nullopt;
        return out;
    }

    // Worked out from the quarter hours of the days asked for.
    Days days;
    const std::int64_t fromQuarter =
        first ? firstQuarterOf(*first) : std::numeric_limits<std::int64_t>::min();
    const std::int64_t toQuarter =
        last ? firstQuarterOf(last->plusDays(1)) : std::numeric_limits<std::int64_t>::max();
    if (!addQuarters(db, scope, fromQuarter, toQuarter, days))
        return std::nullopt;
    std::map<std::int64_t, std::string> names;
    auto name = db.prepare("SELECT text FROM names WHERE id = ?1");
    for (const auto& [key, v] : days) {
        const auto& [day, utcDay, model, fast, usOnly, floor] = key;
        auto [it, fresh] = names.try_emplace(model);
        if (fresh) {
            name.bind(1, model);
            if (name.step() != SqliteStatement::Step::row)
                return std::nullopt;
            it->second = name.text(0);
            name.reset();
        }
        row(day, utcDay, it->second, fast, usOnly, floor, v);
    }
    return out;
}

} // namespace vellumkite
