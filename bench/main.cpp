// Measures the usage store against a floor measured in the same run on the same files.
//   vellumkite-bench [--dir DIR] [--sizes 200,1000] [--runs N]
// The trees are generated once under DIR (default /tmp/vellumkite-bench) and reused.
#include "History.hpp"
#include "HistoryDatabase.hpp"
#include "HistoryQuery.hpp"
#include "HistoryReader.hpp"
#include "HistoryUpdate.hpp"
#include "LogDirectory.hpp"
#include "LogPass.hpp"
#include "LogReader.hpp"
#include "LogTree.hpp"
#include "PriceTable.hpp"
#include "RefreshPass.hpp"
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

double seconds(const std::function<void()>& f) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

double best(int runs, const std::function<void()>& f) {
    double b = 1e300;
    for (int i = 0; i < runs; ++i)
        b = std::min(b, seconds(f));
    return b;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
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

void firstPass(const fs::path& base, int megabytes, int runs, bool rss) {
    const fs::path root = ensureTree(
        base, "tree-streamed-" + std::to_string(megabytes) + "mb", [&](bench::LogTree& tree) {
            tree.generate(std::uint64_t(megabytes) << 20, std::max(50, megabytes / 2), systemNow());
        });
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
        idle.push_back(seconds([&] { store.refresh(); }));
    std::printf("pass with nothing new, %zu files: median %.2f ms, slowest %.2f ms (a full walk "
                "every %d passes) (target < 10 ms)\n",
                files.size(), median(idle) * 1e3, *std::max_element(idle.begin(), idle.end()) * 1e3,
                LogDirectory::kFullWalkEvery);

    // 100 complete lines across 10 files, as the assistant appends them.
    bench::LogTree writer(projects, 7);
    std::vector<double> appended;
    for (int i = 0; i < std::max(runs, 5) * 2; ++i) {
        for (int f = 0; f < 10; ++f) {
            const auto& p = files[(i * 10 + f) * 7 % files.size()];
            std::string lines;
            for (int l = 0; l < 10; ++l)
                lines += writer.replyLine(p.stem().string(),
                                          "msg_bench" + std::to_string(i * 100 + f * 10 + l),
                                          systemNow(), "toolu_b" + std::to_string(l), "Read", 1,
                                          writer.randomUsage()) +
                         "\n";
            std::ofstream(p, std::ios::app) << lines;
        }
        appended.push_back(seconds([&] { store.refresh(); }));
    }
    std::printf("pass after 100 lines appended across 10 files: median %.2f ms, slowest %.2f ms "
                "(target < 5 ms)\n",
                median(appended) * 1e3, *std::max_element(appended.begin(), appended.end()) * 1e3);
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
        idle.push_back(seconds(pass));
    appended.clear();
    for (int i = 0; i < std::max(runs, 5) * 2; ++i) {
        for (int f = 0; f < 10; ++f) {
            const auto& p = files[(i * 10 + f) * 13 % files.size()];
            std::string lines;
            for (int l = 0; l < 10; ++l)
                lines += writer.replyLine(p.stem().string(),
                                          "msg_history" + std::to_string(i * 100 + f * 10 + l),
                                          systemNow(), "toolu_h" + std::to_string(l), "Read", 1,
                                          writer.randomUsage()) +
                         "\n";
            std::ofstream(p, std::ios::app) << lines;
        }
        appended.push_back(seconds(pass));
    }
    std::printf(
        "with the history on: pass with nothing new median %.2f ms, slowest %.2f ms (target "
        "< 10 ms); pass writing 100 new lines in one transaction median %.2f ms\n",
        median(idle) * 1e3, *std::max_element(idle.begin(), idle.end()) * 1e3,
        median(appended) * 1e3);
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
        times.push_back(seconds([&] { snapshot = RefreshPass::run(store, inputs); }));
    std::printf("refresh pass over %zu replies and %zu tool results, nothing new: median %.2f ms "
                "(target < 20 ms; %zu tips)\n",
                store.turns().size(), store.results().size(), median(times) * 1e3,
                snapshot.tips.size());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "--rss-child") == 0)
        return rssChild(argv[2], argc > 3 ? argv[3] : nullptr);
    fs::path base = "/tmp/vellumkite-bench";
    std::vector<int> sizes = {200, 1000};
    int runs = 3;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string opt = argv[i];
        if (opt == "--dir")
            base = argv[i + 1];
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
    fs::create_directories(base);
    for (const int mb : sizes)
        firstPass(base, mb, runs, mb == sizes.back());
    incremental(base, runs);
    refreshPass(base, runs);
    return 0;
}
