#include "ReportCommand.hpp"

#include "Fd.hpp"
#include "Format.hpp"
#include "History.hpp"
#include "HistoryDatabase.hpp"
#include "HistoryQuery.hpp"
#include "HistoryUpdate.hpp"
#include "ImportProgress.hpp"
#include "LimitJournal.hpp"
#include "LimitJournalImport.hpp"
#include "LimitReport.hpp"
#include "LimitReportJson.hpp"
#include "LimitReportText.hpp"
#include "LogFolders.hpp"
#include "PreferencesStore.hpp"
#include "PriceTable.hpp"
#include "PromptBands.hpp"
#include "SmallFile.hpp"
#include "SyncStep.hpp"
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

constexpr std::size_t kMaxZoneFile = 1 << 20;

// A zone name as the system's zone database knows it: "UTC", or a zone file under TZDIR.
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
    // The folder also holds tables and notes (leapseconds, zone.tab): only a zone file will do.
    const SmallFile zone = SmallFile::read(
        std::filesystem::path(dir && *dir ? dir : "/usr/share/zoneinfo") / name, kMaxZoneFile);
    return zone && zone.bytes.starts_with("TZif");
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

void say(const std::string& line) {
    (void)Fd::writeAll(STDERR_FILENO, "vellumkite-cli: " + line + "\n");
}

constexpr const char* kDamagedCopy =
    "the history is damaged, and cannot be set aside and rebuilt since it cannot be written";

// The history to answer from: the file, or, when it cannot be written, a copy in memory that is
// brought up to date and answers in full without changing the file.
std::unique_ptr<History> openHistory(const std::filesystem::path& file, bool& inMemory) {
    auto opened = HistoryDatabase::open(file);
    if (!opened.message.empty())
        say(opened.message);
    if (opened.status == HistoryDatabase::Status::readOnly) {
        inMemory = true;
        opened = HistoryDatabase::openCopy(file);
        say(opened.db ? "this report adds the newest logs to a copy in memory; the history "
                        "itself could not be brought up to date"
                      : opened.message);
    }
    if (!opened.db)
        return nullptr;
    return std::make_unique<History>(std::move(*opened.db));
}

// A damaged history set aside, and a new one begun (nothing when it cannot be).
std::unique_ptr<History> rebuild(const std::filesystem::path& file, std::unique_ptr<History> old,
                                 bool& inMemory) {
    old.reset();
    say(HistoryDatabase::setAside(file));
    return openHistory(file, inMemory);
}

// False when the history could not be written (see History::damaged()). The limit readings
// the status line kept come in too; a journal is started afresh only for the history itself,
// never for a copy in memory.
bool update(History& history, const LogFolders& folders, bool inMemory) {
    ImportProgress progress(STDERR_FILENO);
    const bool updated =
        HistoryUpdate::run(history, folders.folders, [&](const auto& p) { progress.update(p); });
    progress.finish();
    if (!updated)
        return false;
    const auto journal = LimitJournal::file();
    LimitJournalImport::read(history, journal);
    if (!history.commit())
        return false;
    if (!inMemory) {
        LimitJournalImport::tidy(history, journal, systemNow());
        (void)history.commit(); // the moved position; read again from the start otherwise
    }
    return true;
}

struct Arguments {
    UsageReport::Options options;
    bool limits = false; // `report limits`: the readings instead of the usage
    std::string zone;
    std::string machine; // a name or id; empty for every machine
    bool json = false;
};

constexpr const char* kReports = "daily, weekly, monthly, chats, projects, models or limits";

// Nothing, with a message, for arguments that make no sense.
std::optional<Arguments> parse(int argc, char** argv, std::string& problem) {
    Arguments a;
    if (argc < 1) {
        problem = std::string("which report? ") + kReports;
        return std::nullopt;
    }
    a.limits = std::string_view(argv[0]) == "limits";
    const auto kind = UsageReport::kindOf(argv[0]);
    if (!kind && !a.limits) {
        problem = "unknown report: " + std::string(argv[0]) + " (" + kReports + ")";
        return std::nullopt;
    }
    a.options.kind = kind.value_or(UsageReport::Kind::daily);
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
        } else if (a.limits && (name == "--by-model" || name == "--week-start")) {
            problem = "report limits takes --since, --until, --tz and --json, not " + name;
            return std::nullopt;
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
        } else if (name == "--machine") {
            const auto machine = value();
            if (!machine || machine->empty()) {
                problem = "--machine wants a machine's name or id (vellumkite-cli sync lists them)";
                return std::nullopt;
            }
            a.machine = *machine;
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

// Whose usage the report counts, from --machine; nothing, with the message, when it names no
// machine or more than one.
std::optional<MachineScope> scopeOf(const std::string& text, const SqliteDatabase& db,
                                    const MachineIdentity& me, std::string& problem) {
    if (text.empty())
        return MachineScope::every();
    const auto machines = SyncMachines::list(db, me).value_or(std::vector<SyncMachine>{});
    std::vector<const SyncMachine*> matches;
    if (const auto* m = SyncMachines::find(machines, text, &matches))
        return m->self ? MachineScope::self() : MachineScope::other(m->number);
    if (matches.empty()) {
        problem = "no machine is named " + text + " (vellumkite-cli sync lists them)";
    } else {
        problem = text + " names " + std::to_string(matches.size()) + " machines; give an id:";
        for (const auto* m : matches)
            problem += " " + m->id;
    }
    return std::nullopt;
}

// Under a table of more than one machine's usage, or of one alone: whose it is.
std::string machinesLine(const std::vector<SyncMachine>& machines, const MachineScope& scope,
                         Instant now) {
    const auto one = [&](const SyncMachine& m) {
        return m.name + (m.self        ? " (this machine)"
                         : m.published ? " (published " + Format::ago(*m.published, now) + ")"
                                       : std::string());
    };
    if (scope.kind != MachineScope::Kind::every) {
        for (const auto& m : machines)
            if (m.self == (scope.kind == MachineScope::Kind::self) &&
                (m.self || m.number == scope.machine))
                return "Only " + one(m) + ".\n";
        return "";
    }
    if (machines.size() < 2)
        return "";
    std::string out = "Over " + std::to_string(machines.size()) + " machines, each reply once: ";
    for (std::size_t i = 0; i < machines.size(); ++i)
        out += (i ? ", " : "") + one(machines[i]);
    return out + ".\n";
}

} // namespace

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
    bool inMemory = false;
    auto history = openHistory(file, inMemory);
    if (!history)
        return 1;

    const LogFolders folders = LogFolders::find();
    for (const auto& entry : folders.missing)
        (void)Fd::writeAll(STDERR_FILENO, "vellumkite-cli: CLAUDE_CONFIG_DIR names " + entry +
                                              ", which does not exist\n");
    for (int attempt = 0;; ++attempt) {
        if (update(*history, folders, inMemory))
            break;
        if (history->damaged() && inMemory)
            return fail(1, kDamagedCopy);
        if (!history->damaged() || attempt > 0) {
            // A report from part of the usage would look whole: none rather than that.
            const std::string why = history->database().lastError();
            return fail(1, "the history could not be brought up to date" +
                               (why.empty() ? std::string() : " (" + why + ")") +
                               ", so a report would miss usage not yet written to it; none is "
                               "given. Try again in a moment.");
        }
        history = rebuild(file, std::move(history), inMemory);
        if (!history)
            return 1;
    }

    // The other machines' new files in, this machine's out: before the report, so that it
    // counts every machine as of now.
    const PreferencesStore preferences;
    const MachineIdentity me = SyncStep::identity();
    SyncStep::run(history->database(), me, SyncStep::folder(preferences));
    std::string unknown;
    auto scope = scopeOf(args->machine, history->database(), me, unknown);
    if (!scope)
        return fail(2, unknown);

    std::vector<std::string> priceProblems;
    const PriceTable prices = PriceTable::standard(&priceProblems);
    for (const auto& problem : priceProblems)
        (void)Fd::writeAll(STDERR_FILENO, "vellumkite-cli: " + problem + "\n");
    const std::string zone = args->zone.empty() ? localZoneName() : args->zone;
    const bool colour = Terminal::screenStyle(STDOUT_FILENO).colour;
    // The report as text; nothing when the history could not answer, `code` saying why.
    const auto answer = [&](const History& h, int& code) -> std::optional<std::string> {
        const Instant now = systemNow();
        // A book with a new band threshold: the sums are kept apart at it from now on. Should
        // that fail (the other program writing), usage on both sides of it goes unpriced this
        // time.
        (void)PromptBands::splitAt(h.database(), prices.thresholds());
        if (args->limits) {
            const auto report = LimitReport::build(h.database(), prices,
                                                   {args->options.since, args->options.until}, now);
            code = report ? 0 : h.database().lastCode();
            if (!report)
                return std::nullopt;
            return args->json ? LimitReportJson::render(*report, zone)
                              : LimitReportText::render(*report, colour);
        }
        const HistoryQuery query(h.database(), *scope);
        const auto report = UsageReport::build(query, prices, args->options, now);
        code = query.lastCode();
        if (!report)
            return std::nullopt;
        if (args->json)
            return UsageReportJson::render(*report, zone, args->options.byModel,
                                           SyncStep::counted(h.database(), me));
        UsageReportText::Style table;
        table.colour = colour;
        table.width =
            Terminal::isTerminal(STDOUT_FILENO) ? Terminal::columns(STDOUT_FILENO) - 1 : 0;
        return UsageReportText::render(*report, table, args->options.byModel) +
               machinesLine(SyncStep::counted(h.database(), me), *scope, now);
    };
    std::optional<std::string> out;
    for (int attempt = 0;; ++attempt) {
        int code = 0;
        out = answer(*history, code);
        if (out || attempt > 0 || !SqliteDatabase::isCorruption(code))
            break;
        if (inMemory)
            return fail(1, kDamagedCopy);
        // A damaged page the update did not reach: the same as damage found while writing.
        history = rebuild(file, std::move(history), inMemory);
        if (!history)
            return 1;
        if (!update(*history, folders, inMemory))
            return fail(1, "the history could not be rebuilt from the logs");
        // The rebuilt history takes the other machines in afresh, under new numbers.
        SyncStep::run(history->database(), me, SyncStep::folder(preferences));
        scope = scopeOf(args->machine, history->database(), me, unknown);
        if (!scope)
            return fail(2, unknown);
    }
    if (!out)
        return fail(1, "the history could not be read: " + history->database().lastError());
    return Fd::writeAll(STDOUT_FILENO, *out) ? 0 : 1;
}

} // namespace vellumkite
