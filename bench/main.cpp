// Measures the usage store against a floor measured in the same run on the same files.
//   vellumkite-bench [--dir DIR] [--sizes 200,1000] [--runs N]
//                    [--only first,incremental,refresh,json,real]
//                    [--real MB] [--cli PATH] [--peer COMMAND]
// The trees are generated once under DIR (default /tmp/vellumkite-bench) and reused.
// `json` runs `vellumkite-cli json` (or --cli) on the largest first-pass tree, `real` on a
// real-shaped tree of --real MB; with --peer, another report program runs on the same tree,
// alternating. COMMAND is split as a shell would split it (no expansions), e.g.
// --peer "/old/build/src/cli/vellumkite-cli json".
#include "ChildRun.hpp"
#include "History.hpp"
#include "HistoryDatabase.hpp"
#include "HistoryQuery.hpp"
#include "HistoryReader.hpp"
#include "HistoryUpdate.hpp"
#include "LimitBench.hpp"
#include "LogDirectory.hpp"
#include "LogPass.hpp"
#include "LogReader.hpp"
#include "LogTree.hpp"
#include "PriceTable.hpp"
#include "RealShapedTree.hpp"
#include "RefreshPass.hpp"
#include "ShellWords.hpp"
#include "Stopwatch.hpp"
#include "SyncBench.hpp"
#include "TurnParser.hpp"
#include "UsageReport.hpp"
#include "UsageStore.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <simdjson.h>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

using namespace vellumkite;
namespace fs = std::filesystem;

namespace {

constexpr double kLookback = 691200;

double best(int runs, const std::function<void()>& f) {
    double b = 1e300;
    for (int i = 0; i < runs; ++i)
        b = std::min(b, bench::Stopwatch::seconds(f));
    return b;
}

std::uint64_t treeBytes(const fs::path& root) {
    std::uint64_t n = 0;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file() && e.path().extension() == ".jsonl")
            n += e.file_size();
    return n;
}

fs::path ensureTree(const fs::path& base, const std::string& name,
                    const std::function<void(bench::LogTree&)>& generate) {
    const fs::path root = base / name;
    if (fs::exists(root / ".complete"))
        return root;
    fs::remove_all(root);
    std::printf("generating %s...\n", name.c_str());
    std::fflush(stdout);
    bench::LogTree tree(root / "projects");
    generate(tree);
    std::ofstream(root / ".complete") << "ok\n";
    return root;
}

// The floor: simdjson parsing every line on one thread from the same kind of buffer, nothing
// filed, no pre-filter.
std::size_t parseEveryLine(const fs::path& root) {
    simdjson::dom::parser parser(TurnParser::kMaxLineLength);
    LogReader reader;
    std::size_t docs = 0;
    std::vector<fs::path> files;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file() && e.path().extension() == ".jsonl")
            files.push_back(e.path());
    for (const auto& p : files) {
        const int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat st;
        ::fstat(fd, &st);
        reader.read(fd, 0, static_cast<std::uint64_t>(st.st_size), [&](std::string_view line) {
            simdjson::dom::element doc;
            if (parser.parse(line.data(), line.size(), false).get(doc) == simdjson::SUCCESS)
                ++docs;
        });
        ::close(fd);
    }
    return docs;
}

long kibFromStatus(const char* key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(key, 0) == 0)
            return std::strtol(line.c_str() + std::strlen(key), nullptr, 10);
    return -1;
}

// Runs a first pass (or, with a database file, an import into it) in a fresh process and
// reports its peak resident memory.
int rssChild(const char* root, const char* database) {
    const long before = kibFromStatus("VmHWM:");
    std::size_t records = 0;
    if (database) {
        auto opened = HistoryDatabase::open(database);
        if (!opened.db)
            return 1;
        History history(std::move(*opened.db));
        HistoryUpdate::run(history, {root});
    } else {
        UsageStore store(root, kLookback);
        store.refresh();
        records = store.turns().size();
    }
    std::printf("%ld %ld %zu\n", before, kibFromStatus("VmHWM:"), records);
    return 0;
}

std::pair<long, long> peakRss(const fs::path& root, const fs::path& database = {}) {
    int pipefd[2];
    if (::pipe(pipefd) != 0)
        return {-1, -1};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipefd[1], 1);
    posix_spawn_file_actions_addclose(&actions, pipefd[0]);
    const std::string self = fs::read_symlink("/proc/self/exe").string();
    const std::string rootText = root.string(), databaseText = database.string();
    char* argv[] = {const_cast<char*>(self.c_str()), const_cast<char*>("--rss-child"),
                    const_cast<char*>(rootText.c_str()),
                    database.empty() ? nullptr : const_cast<char*>(databaseText.c_str()), nullptr};
    pid_t pid;
    const int rc = posix_spawn(&pid, self.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipefd[1]);
    if (rc != 0)
        return {-1, -1};
    char buf[256] = {};
    const auto n = ::read(pipefd[0], buf, sizeof buf - 1);
    ::close(pipefd[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    long before = -1, peak = -1;
    if (n > 0)
        std::sscanf(buf, "%ld %ld", &before, &peak);
    return {before, peak};
}

// The history: an import of the whole tree into an empty database, against the first pass
// without history just measured, then a report over 60 days with nothing new to read.
void historyImport(const fs::path& root, double mb, double firstPass, int runs) {
    const fs::path projects = root / "projects";
    const fs::path database = root / "history.sqlite3";
    const auto fresh = [&] {
        for (const char* suffix : {"", "-wal", "-shm"})
            fs::remove(database.string() + suffix);
    };
    const double import = best(runs, [&] {
        fresh();
        auto opened = HistoryDatabase::open(database);
        History history(std::move(*opened.db));
        HistoryUpdate::run(history, {projects});
    });
    std::uint64_t size = 0;
    for (const char* suffix : {"", "-wal"})
        if (fs::exists(database.string() + suffix))
            size += fs::file_size(database.string() + suffix);
    std::printf("history import of %.0f MB into an empty database: %.3f s, %.2fx the first pass "
                "(target <= 1.5); database %.1f MB, %.2f%% of the logs (target < 5%%)\n",
                mb, import, import / firstPass, size / 1048576.0, 100.0 * size / (mb * 1048576.0));
    const double report = best(std::max(runs, 5), [&] {
        auto opened = HistoryDatabase::open(database);
        History history(std::move(*opened.db));
        HistoryUpdate::run(history, {projects});
        UsageReport::Options options;
        options.since = LocalDate::of(systemNow()).plusDays(-59);
        const auto report = UsageReport::build(HistoryQuery(history.database()),
                                               PriceTable::standard(), options, systemNow());
        if (!report || report->rows.empty())
            std::printf("  (the report came back empty)\n");
    });
    std::printf("  report daily over 60 days, nothing new to read: %.1f ms in process (target for "
                "the whole process < 50 ms)\n",
                report * 1e3);
    fresh();
    const auto [before, peak] = peakRss(projects, database);
    std::printf("  peak RSS of a fresh process over the import: %.1f MB (%.1f MB at start) "
                "(target < 100 MB)\n",
                peak / 1024.0, before / 1024.0);
    std::fflush(stdout);
}

// The first pass's tree: streamed replies over the last week, in megabytes / 2 logs.
fs::path streamedTree(const fs::path& base, int megabytes) {
    return ensureTree(
        base, "tree-streamed-" + std::to_string(megabytes) + "mb", [&](bench::LogTree& tree) {
            tree.generate(std::uint64_t(megabytes) << 20, std::max(50, megabytes / 2), systemNow());
        });
}

void firstPass(const fs::path& base, int megabytes, int runs, bool rss) {
    const fs::path root = streamedTree(base, megabytes);
    const fs::path projects = root / "projects";
    const double mb = static_cast<double>(treeBytes(projects)) / (1 << 20);
    std::size_t turns = 0;
    const double floor = best(runs, [&] { parseEveryLine(projects); });
    const double single = best(runs, [&] {
        UsageStore store(projects, kLookback);
        store.setParseThreads(1);
        store.refresh();
        turns = store.turns().size();
    });
    const double parallel = best(runs, [&] {
        UsageStore store(projects, kLookback);
        store.refresh();
    });
    std::printf("first pass, %.0f MB (%zu replies):\n", mb, turns);
    std::printf("  floor (simdjson parses every line, one thread) %8.0f MB/s  %7.3f s\n",
                mb / floor, floor);
    std::printf("  store, one thread                              %8.0f MB/s  %7.3f s  %.2fx floor "
                "(target <= 1.2)\n",
                mb / single, single, single / floor);
    std::printf("  store, parallel parse                          %8.0f MB/s  %7.3f s  %.2fx floor "
                "(target <= 0.6)\n",
                mb / parallel, parallel, parallel / floor);
    if (rss) {
        const auto [before, peak] = peakRss(projects);
        std::printf("  peak RSS of a fresh process over this first pass: %.1f MB (%.1f MB at start)"
                    " (target < 100 MB)\n",
                    peak / 1024.0, before / 1024.0);
    }
    std::fflush(stdout);
    if (rss)
        historyImport(root, mb, parallel, runs);
}

// 100 complete lines across 10 files, as the assistant appends them: round `round` picks its files
// by `stride`, and the prefixes keep the ids of one measurement apart from another's.
void appendRound(bench::LogTree& writer, const std::vector<fs::path>& files, int round, int stride,
                 const std::string& messagePrefix, const std::string& toolPrefix) {
    for (int f = 0; f < 10; ++f) {
        const auto& p = files[(round * 10 + f) * stride % files.size()];
        std::string lines;
        for (int l = 0; l < 10; ++l)
            lines += writer.replyLine(p.stem().string(),
                                      messagePrefix + std::to_string(round * 100 + f * 10 + l),
                                      systemNow(), toolPrefix + std::to_string(l), "Read", 1,
                                      writer.randomUsage()) +
                     "\n";
        std::ofstream(p, std::ios::app) << lines;
    }
}

void incremental(const fs::path& base, int runs) {
    const fs::path root = ensureTree(base, "tree-2000-files", [](bench::LogTree& tree) {
        tree.generateLight(20000, 2000, systemNow(), 7);
    });
    const fs::path projects = root / "projects";
    std::vector<fs::path> files;
    for (const auto& e : fs::recursive_directory_iterator(projects))
        if (e.path().extension() == ".jsonl")
            files.push_back(e.path());
    std::sort(files.begin(), files.end());
    UsageStore store(projects, kLookback);
    store.refresh();
    std::vector<double> idle;
    for (int i = 0; i < std::max(runs, 5) * 4; ++i)
        idle.push_back(bench::Stopwatch::seconds([&] { store.refresh(); }));
    std::printf("pass with nothing new, %zu files: median %.2f ms, slowest %.2f ms (a full walk "
                "every %d passes) (target < 10 ms)\n",
                files.size(), bench::Stopwatch::median(idle) * 1e3,
                *std::max_element(idle.begin(), idle.end()) * 1e3, LogDirectory::kFullWalkEvery);

    bench::LogTree writer(projects, 7);
    std::vector<double> appended;
    for (int i = 0; i < std::max(runs, 5) * 2; ++i) {
        appendRound(writer, files, i, 7, "msg_bench", "toolu_b");
        appended.push_back(bench::Stopwatch::seconds([&] { store.refresh(); }));
    }
    std::printf("pass after 100 lines appended across 10 files: median %.2f ms, slowest %.2f ms "
                "(target < 5 ms)\n",
                bench::Stopwatch::median(appended) * 1e3,
                *std::max_element(appended.begin(), appended.end()) * 1e3);
    std::fflush(stdout);

    // The same with the history on, as the app runs: its passes also write what they read.
    const fs::path database = root / "history.sqlite3";
    for (const char* suffix : {"", "-wal", "-shm"})
        fs::remove(database.string() + suffix);
    auto opened = HistoryDatabase::open(database);
    History history(std::move(*opened.db));
    LogPass logPass({projects});
    UsageStore withHistory(kLookback);
    HistoryReader reader(history, std::uint64_t{256} << 20, kLookback);
    const auto pass = [&] {
        logPass.run({&reader, &withHistory.reader()});
        (void)history.commit();
    };
    do
        pass();
    while (reader.backlog().files > 0);
    idle.clear();
    for (int i = 0; i < std::max(runs, 5) * 4; ++i)
        idle.push_back(bench::Stopwatch::seconds(pass));
    appended.clear();
    for (int i = 0; i < std::max(runs, 5) * 2; ++i) {
        appendRound(writer, files, i, 13, "msg_history", "toolu_h");
        appended.push_back(bench::Stopwatch::seconds(pass));
    }
    std::printf(
        "with the history on: pass with nothing new median %.2f ms, slowest %.2f ms (target "
        "< 10 ms); pass writing 100 new lines in one transaction median %.2f ms\n",
        bench::Stopwatch::median(idle) * 1e3, *std::max_element(idle.begin(), idle.end()) * 1e3,
        bench::Stopwatch::median(appended) * 1e3);
    std::fflush(stdout);
}

// One whole refresh pass (ingest nothing new, every aggregate, limits, thresholds, coach) over
// eight days of heavy use.
void refreshPass(const fs::path& base, int runs) {
    const fs::path root = ensureTree(base, "tree-100k-exchanges", [](bench::LogTree& tree) {
        tree.generateLight(100000, 400, systemNow(), 7.9);
    });
    const fs::path limits = root / "statusline.json";
    std::ofstream(limits) << R"({"rate_limits":{"five_hour":{"used_percentage":42,"resets_at":)"
                          << static_cast<long long>(toUnixSeconds(systemNow())) + 7200
                          << R"(},"seven_day":{"used_percentage":18,"resets_at":)"
                          << static_cast<long long>(toUnixSeconds(systemNow())) + 300000 << "}}}";
    UsageStore store(root / "projects", kLookback);
    RefreshPass::Inputs inputs;
    inputs.limitsFile = limits;
    inputs.environment = Environment();
    Snapshot snapshot = RefreshPass::run(store, inputs); // the first pass reads everything
    std::vector<double> times;
    for (int i = 0; i < std::max(runs, 5) * 4; ++i)
        times.push_back(
            bench::Stopwatch::seconds([&] { snapshot = RefreshPass::run(store, inputs); }));
    std::printf("refresh pass over %zu replies and %zu tool results, nothing new: median %.2f ms "
                "(target < 20 ms; %zu tips)\n",
                store.turns().size(), store.results().size(), bench::Stopwatch::median(times) * 1e3,
                snapshot.tips.size());
    std::fflush(stdout);
}

// What the programs measured see: a home of their own under the tree's folder, and the tree's
// logs under `config` (the assistant's folder, holding "projects").
std::vector<std::pair<std::string, std::string>> homeAt(const fs::path& root,
                                                        const fs::path& config) {
    const std::string home = (root / "home").string();
    return {{"HOME", home},
            {"CLAUDE_CONFIG_DIR", config.string()},
            {"XDG_CONFIG_HOME", home + "/.config"},
            {"XDG_DATA_HOME", home + "/.local/share"},
            {"XDG_STATE_HOME", home + "/.local/state"},
            {"XDG_CACHE_HOME", home + "/.cache"}};
}

struct Figures {
    std::vector<double> wall, cpu, peak;
    std::string output;
    bool failed = false;
};

// Runs in a fresh process of its own, so that the children's peak memory is theirs: a child
// started from a big process inherits that process's high-water mark through exec.
int compareChild(const fs::path& root, const fs::path& config, int runs,
                 const std::vector<std::string>& ours, const std::vector<std::string>& peer) {
    const auto env = homeAt(root, config);
    const std::string errors = (root / "stderr.txt").string();
    Figures us, them;
    const auto once = [&](const std::vector<std::string>& argv, Figures& into, bool keep) {
        const auto o = bench::ChildRun::run(argv, env, errors);
        if (!o.started || o.exitCode != 0) {
            std::printf("  %s %s (see %s)\n", argv[0].c_str(),
                        o.started ? "failed" : "did not start", errors.c_str());
            into.failed = true;
            return;
        }
        if (keep) {
            into.wall.push_back(o.wall);
            into.cpu.push_back(o.cpu);
            into.peak.push_back(o.peakMb);
        }
        into.output = o.output;
    };
    // One warm-up each (the page cache), then alternate, the first of each pair changing.
    once(ours, us, false);
    if (!peer.empty())
        once(peer, them, false);
    for (int i = 0; i < runs && !us.failed && !them.failed; ++i) {
        if (peer.empty() || i % 2 == 0) {
            once(ours, us, true);
            if (!peer.empty())
                once(peer, them, true);
        } else {
            once(peer, them, true);
            once(ours, us, true);
        }
    }
    if (us.failed || them.failed)
        return 1;
    const auto row = [](const char* name, const Figures& f) {
        std::printf("  %-22s wall %6.3f s (best %6.3f)  cpu %6.3f s  peak RSS %6.1f MB\n", name,
                    bench::Stopwatch::median(f.wall),
                    *std::min_element(f.wall.begin(), f.wall.end()),
                    bench::Stopwatch::median(f.cpu), bench::Stopwatch::median(f.peak));
    };
    std::printf("  medians of %d runs%s:\n", runs, peer.empty() ? "" : ", alternating");
    row("vellumkite-cli json", us);
    if (!peer.empty()) {
        row("peer", them);
        std::printf("  ratio ours/peer        wall %.2fx (target <= 0.5)  cpu %.2fx  peak RSS "
                    "%.2fx\n",
                    bench::Stopwatch::median(us.wall) / bench::Stopwatch::median(them.wall),
                    bench::Stopwatch::median(us.cpu) / bench::Stopwatch::median(them.cpu),
                    bench::Stopwatch::median(us.peak) / bench::Stopwatch::median(them.peak));
        // The sparkline and the burn rate move with the clock between two runs.
        const auto steady = [](std::string text) {
            for (const char* key : {"\"sparkline\":[", "\"burnPerMin\":"}) {
                const auto at = text.find(key);
                if (at != std::string::npos)
                    text.erase(at, text.find_first_of("],}", at + std::strlen(key)) - at);
            }
            return text;
        };
        std::printf("  both printed the same figures (the sparkline and burn rate aside): %s\n",
                    steady(us.output) == steady(them.output) ? "yes" : "no");
    }
    std::printf("  targets on this machine: wall <= 0.255 s, peak RSS <= 64 MB: %s\n",
                bench::Stopwatch::median(us.wall) <= 0.255 &&
                        bench::Stopwatch::median(us.peak) <= 64
                    ? "met"
                    : "not met");
    std::fflush(stdout);
    return 0;
}

// Times `vellumkite-cli json` (and the peer) in a child process of its own, on the logs under
// `config`.
void compare(const fs::path& root, const fs::path& config, int runs, const std::string& cli,
             const std::string& peer) {
    const auto ours = ShellWords::split(cli + " json");
    const auto theirs = ShellWords::split(peer);
    if (!ours.simple() || (!peer.empty() && !theirs.simple())) {
        std::printf("  --cli and --peer take a program and plain arguments only\n");
        return;
    }
    const std::string self = fs::read_symlink("/proc/self/exe").string();
    std::vector<std::string> argv = {self,
                                     "--compare-child",
                                     root.string(),
                                     config.string(),
                                     std::to_string(runs),
                                     std::to_string(ours.words.size())};
    for (const auto& w : ours.words)
        argv.push_back(w.text);
    for (const auto& w : theirs.words)
        argv.push_back(w.text);
    // The child prints its own figures; only its standard output is wanted here.
    const auto o = bench::ChildRun::run(argv, {}, (root / "compare-stderr.txt").string());
    std::fputs(o.output.c_str(), stdout);
    std::fflush(stdout);
}

void realShaped(const fs::path& base, int megabytes, int runs, const std::string& cli,
                const std::string& peer) {
    const fs::path root = base / ("real-" + std::to_string(megabytes) + "mb");
    const fs::path projects = root / "home" / ".claude" / "projects";
    if (!fs::exists(root / ".complete")) {
        fs::remove_all(root);
        std::printf("generating %s...\n", root.filename().c_str());
        std::fflush(stdout);
        bench::RealShapedTree tree(projects);
        const auto made = tree.generate(std::uint64_t(megabytes) << 20, systemNow());
        std::ofstream(root / ".complete")
            << made.logs << " logs, " << made.bytes << " bytes, largest " << made.largestLog << ", "
            << made.replies << " replies, " << made.results << " tool results\n";
    }
    std::string made;
    std::getline(std::ifstream(root / ".complete"), made);
    const double mb = static_cast<double>(treeBytes(projects)) / (1 << 20);
    // The floor of this section: the tree's bytes read once into one buffer, on one thread.
    const double floor = best(runs, [&] {
        std::vector<char> buffer(std::size_t{1} << 20);
        for (const auto& e : fs::recursive_directory_iterator(projects)) {
            if (!e.is_regular_file())
                continue;
            const int fd = ::open(e.path().c_str(), O_RDONLY | O_CLOEXEC);
            while (::read(fd, buffer.data(), buffer.size()) > 0) {
            }
            ::close(fd);
        }
    });
    std::printf("real-shaped tree, %.0f MB (%s); reading its bytes once: %.3f s\n", mb,
                made.c_str(), floor);
    std::fflush(stdout);
    compare(root, projects.parent_path(), runs, cli, peer);
}

// The same on the first-pass benchmark's tree of streamed replies.
void jsonOnStreamed(const fs::path& base, int megabytes, int runs, const std::string& cli,
                    const std::string& peer) {
    const fs::path root = streamedTree(base, megabytes);
    std::printf("vellumkite-cli json on the %d MB tree of streamed replies:\n", megabytes);
    std::fflush(stdout);
    compare(root, root, runs, cli, peer);
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "--rss-child") == 0)
        return rssChild(argv[2], argc > 3 ? argv[3] : nullptr);
    if (argc >= 7 && std::strcmp(argv[1], "--compare-child") == 0) {
        const auto n = static_cast<std::size_t>(std::atoi(argv[5]));
        const std::vector<std::string> rest(argv + 6, argv + argc);
        if (n == 0 || n > rest.size())
            return 2;
        return compareChild(argv[2], argv[3], std::max(1, std::atoi(argv[4])),
                            {rest.begin(), rest.begin() + static_cast<std::ptrdiff_t>(n)},
                            {rest.begin() + static_cast<std::ptrdiff_t>(n), rest.end()});
    }
    fs::path base = "/tmp/vellumkite-bench";
    std::vector<int> sizes = {200, 1000};
    int runs = 3;
    int realMegabytes = 1000;
    std::string only = "first,incremental,refresh,json,real";
    std::string peer;
    // Our terminal tool from the same build by default.
    std::string cli =
        (fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "src/cli/vellumkite-cli")
            .string();
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string opt = argv[i];
        if (opt == "--dir")
            base = argv[i + 1];
        else if (opt == "--only")
            only = argv[i + 1];
        else if (opt == "--real")
            realMegabytes = std::max(1, std::atoi(argv[i + 1]));
        else if (opt == "--cli")
            cli = argv[i + 1];
        else if (opt == "--peer")
            peer = argv[i + 1];
        else if (opt == "--runs")
            runs = std::max(1, std::atoi(argv[i + 1]));
        else if (opt == "--sizes") {
            sizes.clear();
            for (const char* p = argv[i + 1]; *p;) {
                sizes.push_back(std::atoi(p));
                p = std::strchr(p, ',');
                if (!p)
                    break;
                ++p;
            }
        }
    }
    const auto wanted = [&](std::string_view part) {
        return ("," + only + ",").find("," + std::string(part) + ",") != std::string::npos;
    };
    fs::create_directories(base);
    if (wanted("first"))
        for (const int mb : sizes)
            firstPass(base, mb, runs, mb == sizes.back());
    if (wanted("incremental"))
        incremental(base, runs);
    if (wanted("refresh"))
        refreshPass(base, runs);
    if (wanted("json"))
        jsonOnStreamed(base, sizes.back(), std::max(runs, 5), cli, peer);
    if (wanted("real"))
        realShaped(base, realMegabytes, std::max(runs, 5), cli, peer);
    if (wanted("limits"))
        bench::limitsBench(base, runs,
                           (fs::path(cli).parent_path() / "vellumkite-statusline").string());
    if (wanted("sync"))
        bench::syncBench(base, runs, cli, peer);
    return 0;
}
