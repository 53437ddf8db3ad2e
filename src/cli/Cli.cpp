#include "Cli.hpp"

#include "Doctor.hpp"
#include "Fd.hpp"
#include "HistoryDatabase.hpp"
#include "LimitHistory.hpp"
#include "LocaleTimeOfDay.hpp"
#include "LogFolders.hpp"
#include "PreferencesStore.hpp"
#include "PricesCommand.hpp"
#include "PriceTable.hpp"
#include "RefreshPass.hpp"
#include "ReportCommand.hpp"
#include "Setup.hpp"
#include "SnapshotJson.hpp"
#include "StatusLine.hpp"
#include "StatusScreen.hpp"
#include "SyncCommand.hpp"
#include "Terminal.hpp"
#include "Thresholds.hpp"
#include "UsageStore.hpp"
#include "Watch.hpp"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <string_view>
#include <unistd.h>
#include <vector>

#ifndef VELLUMKITE_VERSION
#define VELLUMKITE_VERSION "unknown"
#endif

namespace vellumkite {

namespace {

int usageError(std::string_view problem) {
    Fd::writeAll(STDERR_FILENO, "vellumkite-cli: " + std::string(problem) + "\n\n" + Cli::usage());
    return 2;
}

int print(const std::string& text) {
    return Fd::writeAll(STDOUT_FILENO, text) ? 0 : 1;
}

// The arguments after the command's name.
using Args = std::span<char*>;

int unexpected(std::string_view argument) {
    return usageError("unexpected argument: " + std::string(argument));
}

// What the report commands share: the preferences, the refresh's inputs and one store over the
// assistant's log folders.
struct Reading {
    PreferencesStore preferences;
    RefreshPass::Inputs inputs;
    UsageStore store;
    std::optional<LimitRecord> limits;

    Reading() : store(folders(), RefreshPass::kLookbackSeconds) {
        std::signal(SIGPIPE, SIG_IGN);
        inputs.preferences = &preferences;
        inputs.timeOfDay = LocaleTimeOfDay::formatter();
        limits = calibration();
        if (limits)
            inputs.limitRecord = &*limits;
    }

    // What one percent of the 5-hour window costs, from the history as it stands: read, never
    // written (only the app and `report` take new readings in), so its latest instances may be
    // stale and nothing is projected from them.
    static std::optional<LimitRecord> calibration() {
        const auto db = HistoryDatabase::openToRead(HistoryDatabase::defaultFile());
        // Only the 5-hour window's: the next message is told in percent of it.
        auto record =
            db ? LimitHistory(*db).record(PriceTable::builtIn(), systemNow(), nullptr, "five_hour")
               : std::nullopt;
        if (record)
            record->latest.clear();
        return record;
    }

    Snapshot pass() { return RefreshPass::run(store, inputs); }

    static std::vector<std::filesystem::path> folders() {
        LogFolders found = LogFolders::find();
        for (const auto& entry : found.missing)
            Fd::writeAll(STDERR_FILENO, "vellumkite-cli: CLAUDE_CONFIG_DIR names " + entry +
                                            ", which does not exist\n");
        return std::move(found.folders);
    }
};

// One pass, its figures printed, and the end of the process right there: the store's records
// are many small blocks, and handing each one back would take a good part of the run.
template <typename Render> [[noreturn]] void printOnePass(Render&& render) {
    auto* r = new Reading; // the process ends before it would go
    std::_Exit(print(render(*r, r->pass())));
}

int status(Args args) {
    if (!args.empty())
        return unexpected(args.front());
    printOnePass([](Reading& r, const Snapshot& snapshot) {
        return StatusScreen::render(snapshot, Thresholds::load(r.preferences, r.inputs.environment),
                                    systemNow(), Terminal::screenStyle(STDOUT_FILENO));
    });
}

int watch(Args args) {
    const bool json = args.size() == 1 && std::string_view(args.front()) == "--json";
    if (!json && !args.empty())
        return unexpected(args.front());
    Reading r;
    return Watch::run(r.store, r.inputs, r.preferences, Terminal::isTerminal(STDOUT_FILENO), json);
}

int json(Args args) {
    if (!args.empty())
        return unexpected(args.front());
    printOnePass(
        [](Reading&, const Snapshot& snapshot) { return SnapshotJson::full(snapshot) + "\n"; });
}

int waybar(Args args) {
    if (!args.empty())
        return unexpected(args.front());
    printOnePass([](Reading&, const Snapshot& snapshot) {
        const std::string chat = snapshot.currentChat
                                     ? "This chat: " + StatusScreen::chatText(snapshot)
                                     : StatusScreen::chatText(snapshot);
        return SnapshotJson::waybar(snapshot, chat) + "\n";
    });
}

// Runs before anything else is set up: the assistant starts it after every message.
int statusline(Args args) {
    return StatusLine::main(static_cast<int>(args.size()), args.data(),
                            "vellumkite-cli statusline");
}

int report(Args args) {
    std::signal(SIGPIPE, SIG_IGN);
    return ReportCommand::main(static_cast<int>(args.size()), args.data());
}

int prices(Args args) {
    std::signal(SIGPIPE, SIG_IGN);
    return PricesCommand::main(static_cast<int>(args.size()), args.data());
}

int sync(Args args) {
    std::signal(SIGPIPE, SIG_IGN);
    return SyncCommand::main(static_cast<int>(args.size()), args.data());
}

int setup(Args args) {
    return Setup::main(static_cast<int>(args.size()), args.data());
}

int doctor(Args args) {
    if (!args.empty())
        return unexpected(args.front());
    return Doctor::run(Terminal::screenStyle(STDOUT_FILENO).colour);
}

int help(Args) {
    return print(Cli::usage());
}

int version(Args) {
    return print(std::string("vellumkite-cli ") + VELLUMKITE_VERSION + "\n");
}

// Every command, by the names it answers to; a new command needs only a line here (and one in
// the usage text).
struct Command {
    std::vector<std::string_view> names;
    int (*run)(Args args);
};
const Command kCommands[] = {
    {{"status"}, status},
    {{"watch"}, watch},
    {{"json"}, json},
    {{"waybar"}, waybar},
    {{"report"}, report},
    {{"prices"}, prices},
    {{"sync"}, sync},
    {{"setup"}, setup},
    {{"doctor"}, doctor},
    {{"statusline"}, statusline},
    {{"help", "--help", "-h"}, help},
    {{"--version"}, version},
};

} // namespace

std::string Cli::usage() {
    return "Usage: vellumkite-cli [COMMAND]\n"
           "\n"
           "Coaching on how fast you spend your Claude usage allowance, read from the local\n"
           "chat logs in ~/.claude/projects (and ~/.config/claude/projects when it exists).\n"
           "Nothing is sent anywhere.\n"
           "\n"
           "Commands:\n"
           "  status       the current picture: limits, this chat, the tip, the live rate,\n"
           "               today's busiest chats and tool eaters (the default)\n"
           "  watch        the same, redrawn every 3 seconds; q or Ctrl-C ends it\n"
           "  watch --json one JSON object (as json prints it) per line every 3 seconds\n"
           "  json         the same figures as one JSON object, for scripts\n"
           "  waybar       one line of JSON for a Waybar custom module\n"
           "  report daily|weekly|monthly|chats|projects|models [OPTIONS]\n"
           "               usage and its list-price cost from the history, which keeps\n"
           "               every day since Vellumkite first read the logs\n"
           "    --since YYYY-MM-DD, --until YYYY-MM-DD   local days, both included\n"
           "    --tz ZONE            days in this zone (e.g. Europe/Berlin; default: local)\n"
           "    --week-start monday|sunday               (default monday)\n"
           "    --by-model           a row per model under each period\n"
           "    --machine NAME|ID    one machine's usage alone (see sync)\n"
           "    --json               one JSON object instead of the table\n"
           "  report limits [--since D] [--until D] [--tz ZONE] [--json]\n"
           "               every 5-hour and weekly window the status line read, what one\n"
           "               percent of each costs, and when the current ones run out\n"
           "  prices [--json]\n"
           "               the price book in force, where each entry came from, and the\n"
           "               models in the history that have no price\n"
           "  prices import FILE [--yes]\n"
           "               take the claude-* prices of FILE (a LiteLLM price map or a file\n"
           "               like the book) into your own price file; shows the changes first\n"
           "               and writes them with --yes\n"
           "  sync [FOLDER] [--name NAME]\n"
           "               share this machine's history through FOLDER, one that your machines\n"
           "               keep in step (Syncthing, Nextcloud, a network share...), and count\n"
           "               every machine's usage in reports; without FOLDER: the folder and\n"
           "               every machine found there\n"
           "  sync --off   stop publishing and taking in\n"
           "  sync --forget NAME|ID\n"
           "               take another machine's usage out of this machine's history\n"
           "  setup [--yes] [--undo]\n"
           "               turn on the limit readings: the assistant's status line runs\n"
           "               vellumkite-statusline, then the one you had; shows the change and\n"
           "               asks first (--yes: without asking); --undo puts back what was there\n"
           "  doctor       check each piece Vellumkite relies on, with a hint for what is\n"
           "               missing; exits 1 when a needed one is\n"
           "  statusline [-- COMMAND [ARGS...]]\n"
           "               the status-line command for Claude Code (see below)\n"
           "\n"
           "Options:\n"
           "  --help       show this text\n"
           "  --version    show the version\n"
           "\n"
           "The 5-hour and weekly limits come from the assistant's status line. \"setup\" turns\n"
           "it on in the assistant's settings.json (in ~/.claude, or the first folder of\n"
           "CLAUDE_CONFIG_DIR), keeping a backup beside it. By hand, with the small, fast\n"
           "vellumkite-statusline program:\n"
           "  \"statusLine\": {\"type\": \"command\",\n"
           "                 \"command\": \"/usr/bin/vellumkite-statusline\"}\n"
           "To keep a status line you already have, append it after --:\n"
           "  \"command\": \"/usr/bin/vellumkite-statusline -- your-old-command\"\n"
           "\n"
           "Environment:\n"
           "  CLAUDE_CONFIG_DIR  the assistant's folders, separated by commas, read instead:\n"
           "               each a configuration folder (its logs in projects/) or a logs folder\n"
           "  NO_COLOR     no colours, even on a terminal\n";
}

int Cli::main(int argc, char** argv) {
    const std::string_view name = argc > 1 ? argv[1] : "status";
    const Args args(argv + std::min(argc, 2), argv + argc);
    for (const Command& command : kCommands) {
        if (std::find(command.names.begin(), command.names.end(), name) != command.names.end())
            return command.run(args);
    }
    return usageError((name.starts_with('-') ? "unknown option: " : "unknown command: ") +
                      std::string(name));
}

} // namespace vellumkite
