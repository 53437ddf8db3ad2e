#include "ReportCommand.hpp"

#include "Fd.hpp"
#include "History.hpp"
#include "HistoryDatabase.hpp"
#include "HistoryQuery.hpp"
#include "HistoryUpdate.hpp"
#include "ImportProgress.hpp"
#include "LogFolders.hpp"
#include "PriceTable.hpp"
#include "PromptBands.hpp"
#include "Terminal.hpp"
#include "UsageReportJson.hpp"
#include "UsageReportText.hpp"

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <unistd.h>

namespace vellumkite {

namespace {

int fail(int code, const std::string& message) {
    (void)Fd::writeAll(STDERR_FILENO, "vellumkite-cli report: " + message + "\n");
    return code;
}

// A zone name as the system's zone database knows it: "UTC", or a file under TZDIR.
bool knownZone(const std::string& name) {
    if (name == "UTC" || name == "GMT")
        return true;
    if (name.empty() || name.front() == '/' || name.find("..") != std::string::npos)
        return false;
    for (const char c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '/' && c != '_' && c != '-' &&
            c != '+')
            return false;
    const char* dir = std::getenv("TZDIR");
    std::error_code ec;
    return std::filesystem::is_regular_file(
        std::filesystem::path(dir && *dir ? dir : "/usr/share/zoneinfo") / name, ec);
}

// The name of the zone in use, for the JSON: TZ when set, else the system's.
std::string localZoneName() {
    if (const char* tz = std::getenv("TZ"); tz && *tz)
        return tz[0] == ':' ? tz + 1 : tz;
    std::error_code ec;
    const auto target = std::filesystem::read_symlink("/etc/localtime", ec).string();
    if (const auto at = target.find("zoneinfo/"); !ec && at != std::string::npos)
        return target.substr(at + 9);
    return "localtime";
}

struct Arguments {
    UsageReport::Options options;
    std::string zone;
    bool json = false;
};

// Nothing, with a message, for arguments that make no sense.
std::optional<Arguments> parse(int argc, char** argv, std::string& problem) {
    Arguments a;
    if (argc < 1) {
        problem = "which report? daily, weekly, monthly, chats, projects or models";
        return std::nullopt;
    }
    const auto kind = UsageReport::kindOf(argv[0]);
    if (!kind) {
        problem = "unknown report: " + std::string(argv[0]) +
                  " (daily, weekly, monthly, chats, projects or models)";
        return std::nullopt;
    }
    a.options.kind = *kind;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&]() -> std::optional<std::string> {
            if (const auto eq = arg.find('='); eq != std::string::npos)
                return arg.substr(eq + 1);
            if (i + 1 < argc)
                return std::string(argv[++i]);
            return std::nullopt;
        };
        const std::string name = arg.substr(0, arg.find('='));
        if (name == "--json" && name == arg) {
            a.json = true;
        } else if (name == "--by-model" && name == arg) {
            a.options.byModel = true;
        } else if (name == "--since" || name == "--until") {
            const auto text = value();
            const auto date = text ? LocalDate::parse(*text) : std::nullopt;
            if (!date) {
                problem = name + " wants a date as YYYY-MM-DD" + (text ? ", not " + *text : "");
                return std::nullopt;
            }
            (name == "--since" ? a.options.since : a.options.until) = date;
        } else if (name == "--tz") {
            const auto zone = value();
            if (!zone || !knownZone(*zone)) {
                problem = "unknown time zone: " + zone.value_or("(none)");
                return std::nullopt;
            }
            a.zone = *zone;
        } else if (name == "--week-start") {
            const auto day = value();
            if (day != "monday" && day != "sunday") {
                problem = "--week-start is monday or sunday";
                return std::nullopt;
            }
            a.options.firstWeekday = *day == "monday" ? 1 : 0;
        } else {
            problem = "unexpected argument: " + arg;
            return std::nullopt;
        }
    }
    if (a.options.since && a.options.until && *a.options.until < *a.options.since) {
        problem = "--until comes before --since";
        return std::nullopt;
    }
    return a;
}

} // namespace

std::string ReportCommand::usage() {
    return "  report daily|weekly|monthly|chats|projects|models [OPTIONS]\n"
           "               usage and its list-price cost from the history, which keeps\n"
           "               every day since Vellumkite first read the logs\n"
           "    --since YYYY-MM-DD, --until YYYY-MM-DD   local days, both included\n"
           "    --tz ZONE            days in this zone (e.g. Europe/Berlin; default: local)\n"
           "    --week-start monday|sunday               (default monday)\n"
           "    --by-model           a row per model under each period\n"
           "    --json               one JSON object instead of the table\n";
}

int ReportCommand::main(int argc, char** argv) {
    std::string problem;
    const auto args = parse(argc, argv, problem);
    if (!args)
        return fail(2, problem);
    if (!args->zone.empty()) {
        ::setenv("TZ", args->zone.c_str(), 1);
        ::tzset();
    }

    const auto file = HistoryDatabase::defaultFile();
    auto opened = HistoryDatabase::open(file);
    if (!opened.message.empty())
        (void)Fd::writeAll(STDERR_FILENO, "vellumkite-cli: " + opened.message + "\n");
    if (!opened.db)
        return 1;
    auto history = std::make_unique<History>(std::move(*opened.db));

    const LogFolders folders = LogFolders::find();
    for (const auto& entry : folders.missing)
        (void)Fd::writeAll(STDERR_FILENO, "vellumkite-cli: CLAUDE_CONFIG_DIR names " + entry +
                                              ", which does not exist\n");
    for (int attempt = 0;; ++attempt) {
        ImportProgress progress(STDERR_FILENO);
        const bool updated = HistoryUpdate::run(*history, folders.folders,
                                                [&](const auto& p) { progress.update(p); });
        progress.finish();
        if (updated)
            break;
        if (!history->damaged() || attempt > 0) {
            // Answer from what the history holds; the next run takes in the rest.
            (void)Fd::writeAll(STDERR_FILENO,
                               "vellumkite-cli: the history could not be brought "
                               "up to date; this report may miss the newest usage\n");
            break;
        }
        history.reset();
        const std::string notice = HistoryDatabase::setAside(file);
        opened = HistoryDatabase::open(file);
        (void)Fd::writeAll(STDERR_FILENO, "vellumkite-cli: " + notice + "\n");
        if (!opened.db)
            return 1;
        history = std::make_unique<History>(std::move(*opened.db));
    }

    std::vector<std::string> priceProblems;
    const PriceTable prices = PriceTable::standard(&priceProblems);
    for (const auto& problem : priceProblems)
        (void)Fd::writeAll(STDERR_FILENO, "vellumkite-cli: " + problem + "\n");
    // A book with a new band threshold: the sums are kept apart at it from now on. Should that
    // fail (the other program writing), usage on both sides of it goes unpriced this time.
    (void)PromptBands::splitAt(history->database(), prices.thresholds());
    const HistoryQuery query(history->database());
    const auto report = UsageReport::build(query, prices, args->options, systemNow());
    if (!report)
        return fail(1, "the history could not be read: " + history->database().lastError());

    std::string out;
    if (args->json) {
        out = UsageReportJson::render(*report, args->zone.empty() ? localZoneName() : args->zone,
                                      args->options.byModel);
    } else {
        const auto style = Terminal::reportStyle(STDOUT_FILENO);
        UsageReportText::Style table;
        table.colour = style.colour;
        table.width =
            Terminal::isTerminal(STDOUT_FILENO) ? Terminal::columns(STDOUT_FILENO) - 1 : 0;
        out = UsageReportText::render(*report, table, args->options.byModel);
    }
    return Fd::writeAll(STDOUT_FILENO, out) ? 0 : 1;
}

} // namespace vellumkite
