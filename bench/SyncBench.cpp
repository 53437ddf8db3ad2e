#include "SyncBench.hpp"

#include "ChildRun.hpp"
#include "History.hpp"
#include "HistoryDatabase.hpp"
#include "LimitReading.hpp"
#include "MachineIdentity.hpp"
#include "PromptBands.hpp"
#include "Stopwatch.hpp"
#include "SyncFolder.hpp"
#include "SyncPublish.hpp"
#include "SyncTakeIn.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <sys/resource.h>
#include <vector>

namespace vellumkite::bench {

namespace fs = std::filesystem;

namespace {

constexpr int kMachines = 10;
constexpr int kDays = 365;

fs::path home(const fs::path& root, const std::string& name) {
    return root / name;
}

std::vector<std::pair<std::string, std::string>> environment(const fs::path& home) {
    const std::string h = home.string();
    return {{"HOME", h},
            {"CLAUDE_CONFIG_DIR", h + "/.claude"},
            {"XDG_CONFIG_HOME", h + "/.config"},
            {"XDG_DATA_HOME", h + "/.local/share"},
            {"XDG_STATE_HOME", h + "/.local/state"},
            {"XDG_CACHE_HOME", h + "/.cache"},
            {"TZ", "UTC"}};
}

fs::path historyOf(const fs::path& home) {
    return home / ".local/share/Vellumkite/history.sqlite3";
}

// A home the terminal tool reads: no logs, the history, the identity and, with a folder, sync.
void makeHome(const fs::path& home, const MachineIdentity& me, const fs::path& folder) {
    fs::create_directories(home / ".claude/projects");
    fs::create_directories(home / ".config/Vellumkite");
    fs::create_directories(home / ".local/share/Vellumkite");
    (void)me.save(home / ".local/share/Vellumkite/machine.json");
    std::ofstream prefs(home / ".config/Vellumkite/preferences.json");
    if (!folder.empty())
        prefs << "{\"syncFolder\": \"" << folder.string() << "\"}\n";
    else
        prefs << "{}\n";
}

// A year of one machine's daily use: about 500 replies a day in this machine's working hours,
// in chats of a few projects, most with a tool result, and a limit reading every tenth reply; a
// few chats also on the next machine (a user who copies a chat over).
std::size_t generateYear(History& history, int machine, Instant now) {
    const char* models[] = {"claude-sonnet-4-5-20250929", "claude-sonnet-4-5-20250929",
                            "claude-opus-4-5-20251101",   "claude-opus-4-5-20251101",
                            "claude-haiku-4-5-20251001",  "claude-sonnet-4-6"};
    const Instant today = std::chrono::floor<std::chrono::days>(now);
    const int previous = (machine + kMachines - 1) % kMachines;
    std::size_t replies = 0;
    // One chat of a machine on a day, the same whichever history it is written to.
    const auto chat = [&](int owner, int day, int s) {
        std::mt19937_64 rng(static_cast<std::uint64_t>(owner) * 1000003 + day * 101 + s);
        std::string session = "m";
        session += std::to_string(owner);
        session += "-d" + std::to_string(day);
        session += "-s" + std::to_string(s);
        const std::string project =
            "/home/you/work/project-" + std::to_string(owner) + "-" + std::to_string(rng() % 8);
        const int count = 40 + static_cast<int>(rng() % 50);
        Instant t = today - std::chrono::days(day) + std::chrono::hours(7 + owner % 10) +
                    std::chrono::minutes(rng() % 480);
        for (int r = 0; r < count; ++r) {
            t += std::chrono::seconds(20 + rng() % 90);
            TurnLine line;
            Turn& u = line.turn;
            u.key = "msg_" + session + "-" + std::to_string(r) + ":req";
            u.sessionId = session;
            u.project = project;
            u.time = t;
            u.model = models[rng() % 6];
            u.input = static_cast<std::int64_t>(rng() % 40);
            u.cacheRead = 20000 + static_cast<std::int64_t>(rng() % 180000);
            if (rng() % 20 == 0)
                u.cacheRead += 200000;
            u.cacheWrite = static_cast<std::int64_t>(rng() % 6000);
            u.cacheWrite1h = rng() % 5 == 0 ? u.cacheWrite : 0;
            u.output = 1 + static_cast<std::int64_t>(rng() % 900);
            u.fast = rng() % 100 == 0;
            u.usOnly = rng() % 50 == 0;
            u.webSearches = rng() % 30 == 0 ? static_cast<std::int64_t>(1 + rng() % 3) : 0;
            const std::string call = "toolu_" + session + "-" + std::to_string(r);
            line.toolIds.push_back({call, "Read"});
            history.take(line);
            if (rng() % 5 != 0) {
                ResultsLine results;
                results.sessionId = session;
                results.time = t + std::chrono::seconds(2);
                results.results.push_back({call, static_cast<std::int64_t>(100 + rng() % 15000)});
                history.take(results);
            }
            // The status line's readings, a changed one every tenth reply or so.
            if (owner == machine && r % 10 == 0) {
                const Instant week = today - std::chrono::days(day % 7) + std::chrono::days(7);
                history.takeReading(
                    {t,
                     {{"five_hour", static_cast<double>(rng() % 100), t + std::chrono::hours(3)},
                      {"seven_day", static_cast<double>(rng() % 100), week}}});
            }
            ++replies;
        }
    };
    const auto sessions = [](int owner, int day) {
        return 6 + static_cast<int>((static_cast<std::uint64_t>(owner) * 7919 + day * 31) % 4);
    };
    // Every tenth day a machine's last chat is also on the next machine.
    const auto shared = [](int owner, int day) { return (owner + day) % 10 == 0; };
    for (int day = kDays - 1; day >= 0; --day) {
        for (int s = 0; s < sessions(machine, day); ++s)
            chat(machine, day, s);
        if (shared(previous, day))
            chat(previous, day, sessions(previous, day) - 1);
        if (day % 30 == 0)
            (void)history.commit();
    }
    (void)history.commit();
    return replies;
}

double fileMb(const fs::path& p) {
    std::error_code ec;
    return static_cast<double>(fs::file_size(p, ec)) / (1 << 20);
}

} // namespace

void syncBench(const fs::path& base, int runs, const std::string& cli, const std::string& peer) {
    // Named for the layout it was made in: one of an older layout is left for a new one.
    const fs::path root = base / "sync-10x365-readings";
    const fs::path folder = root / "folder";
    std::vector<MachineIdentity> machines;
    if (!fs::exists(root / ".complete")) {
        fs::remove_all(root);
        fs::create_directories(folder);
        std::printf("generating %d machines of %d days each...\n", kMachines, kDays);
        std::fflush(stdout);
        const Instant now = systemNow();
        std::size_t total = 0;
        for (int m = 0; m < kMachines; ++m) {
            MachineIdentity me{MachineIdentity::newId(), "machine-" + std::to_string(m)};
            const fs::path h = home(root, me.name);
            makeHome(h, me, folder);
            auto opened = HistoryDatabase::open(historyOf(h));
            if (!opened.db) {
                std::printf("  %s\n", opened.message.c_str());
                return;
            }
            History history(std::move(*opened.db));
            total += generateYear(history, m, now);
            if (m == 0) {
                // Machine 0 alone, with sync off, before it takes anything in.
                const fs::path alone = root / "alone";
                makeHome(alone, me, {});
                (void)history.database().exec("VACUUM INTO '" + historyOf(alone).string() + "'");
            }
            const auto published = SyncPublish::run(history.database(), me, folder, now);
            if (published.status == SyncPublish::Status::failed) {
                std::printf("  %s\n", published.message.c_str());
                return;
            }
        }
        std::ofstream(root / ".complete") << total << " replies\n";
    }
    for (int m = 0; m < kMachines; ++m)
        machines.push_back(MachineIdentity::read(home(root, "machine-" + std::to_string(m)) /
                                                 ".local/share/Vellumkite/machine.json")
                               .value_or(MachineIdentity{}));
    std::string made;
    std::getline(std::ifstream(root / ".complete"), made);
    double filesMb = 0;
    for (const auto& m : machines)
        filesMb += fileMb(folder / SyncFolder::fileName(m.id));
    std::printf("sync: %d machines of %d days each (%s), their files %.1f MB together\n", kMachines,
                kDays, made.c_str(), filesMb);
    std::fflush(stdout);

    // Publishing a year of one machine, its history as it stands.
    {
        const fs::path h = home(root, "machine-0");
        auto opened = HistoryDatabase::open(historyOf(h));
        if (!opened.db)
            return;
        const auto& db = *opened.db;
        std::vector<double> times;
        for (int i = 0; i < std::max(runs, 3); ++i) {
            SyncPublish::Outcome out;
            times.push_back(Stopwatch::seconds(
                [&] { out = SyncPublish::run(db, machines[0], folder, systemNow(), true); }));
            if (out.status != SyncPublish::Status::published) {
                std::printf("  publishing failed: %s\n", out.message.c_str());
                return;
            }
        }
        std::printf("  publishing a year of one machine (%.1f MB history, %.1f MB file): median "
                    "%.3f s, best %.3f s (target < 1 s)\n",
                    fileMb(historyOf(h)), fileMb(folder / SyncFolder::fileName(machines[0].id)),
                    Stopwatch::median(times), *std::min_element(times.begin(), times.end()));
        std::fflush(stdout);
    }

    // The first take-in of all ten into a new machine, and that machine's history after it.
    const fs::path fresh = root / "new-machine";
    // Kept from one run to the next: the new machine's file in the folder is always the same one.
    const auto newcomer =
        MachineIdentity::load(root / "new-machine.json").value_or(MachineIdentity{});
    std::vector<double> firstTimes;
    for (int i = 0; i < std::max(1, runs / 2); ++i) {
        fs::remove_all(fresh);
        makeHome(fresh, newcomer, folder);
        auto opened = HistoryDatabase::open(historyOf(fresh));
        if (!opened.db)
            return;
        SyncTakeIn::Outcome in;
        firstTimes.push_back(Stopwatch::seconds(
            [&] { in = SyncTakeIn::run(*opened.db, folder, newcomer.id, systemNow()); }));
        if (in.taken < kMachines) {
            std::printf("  (took in %d of %d files)\n", in.taken, kMachines);
            for (const auto& line : in.lines)
                std::printf("  %s\n", line.c_str());
        }
    }
    std::printf("  taking in all %d the first time: median %.2f s (history then %.1f MB)\n",
                kMachines, Stopwatch::median(firstTimes), fileMb(historyOf(fresh)));
    std::fflush(stdout);

    // `report daily` over every machine, warm, as a whole process: in the new machine's home
    // (ten machines taken in) and in machine 0's (its own year and nine taken in).
    const auto warm = [&](const fs::path& h, const std::vector<std::string>& argv,
                          const char* what) {
        std::vector<double> wall;
        std::string errors = (root / "stderr.txt").string();
        for (int i = 0; i < std::max(runs, 5) + 1; ++i) {
            const auto o = ChildRun::run(argv, environment(h), errors);
            if (!o.started || o.exitCode != 0) {
                std::printf("  %s failed (see %s)\n", argv[0].c_str(), errors.c_str());
                return 0.0;
            }
            if (i > 0)
                wall.push_back(o.wall);
        }
        std::printf("  %s: median %.1f ms, best %.1f ms (target < 100 ms)\n", what,
                    Stopwatch::median(wall) * 1e3,
                    *std::min_element(wall.begin(), wall.end()) * 1e3);
        std::fflush(stdout);
        return Stopwatch::median(wall);
    };
    warm(fresh, {cli, "report", "daily"},
         "report daily warm over 10 machines taken in, whole process");
    warm(home(root, "machine-0"), {cli, "report", "daily"},
         "report daily warm on machine 0 (its own year and 9 taken in), whole process");

    // One machine with sync off: this build against another on the same history.
    const fs::path alone = root / "alone";
    const double ours = warm(alone, {cli, "report", "daily"},
                             "report daily warm on one machine, sync off, whole process");
    if (!peer.empty()) {
        // The peer, a build before the history's version 4, reads the same rows at version 2.
        const fs::path older = root / "alone-v2";
        if (!fs::exists(historyOf(older))) {
            makeHome(older, machines[0], {});
            auto db = SqliteDatabase::open(historyOf(alone), SqliteDatabase::Mode::readWrite);
            const auto bands = db ? PromptBands::read(*db) : std::nullopt;
            if (!bands || !db->exec("VACUUM INTO '" + historyOf(older).string() + "'"))
                return;
            auto copy = SqliteDatabase::open(historyOf(older), SqliteDatabase::Mode::readWrite);
            if (!copy || !copy->exec(R"sql(
DROP TRIGGER reply_shadows_peer; DROP TABLE peer_replies; DROP TABLE peer_results;
DROP TABLE machine_quarters; DROP TABLE peer_quarters; DROP TABLE machines;
DROP TABLE published; DROP TABLE day_sums; DROP TABLE day_zones; DROP TABLE peer_readings;
DROP TABLE readings; PRAGMA user_version = 2;)sql") ||
                !PromptBands::makeTriggers(*copy, *bands) || !copy->exec("VACUUM"))
                return;
        }
        const double theirs =
            warm(older, {peer, "report", "daily"}, "  the same with the peer build (version 2)");
        if (ours > 0 && theirs > 0)
            std::printf("  ratio ours/peer %.2fx\n", ours / theirs);
    }
}

} // namespace vellumkite::bench
