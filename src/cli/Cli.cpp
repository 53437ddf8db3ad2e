#include "Cli.hpp"

#include "Doctor.hpp"
#include "Fd.hpp"
#include "LocaleTimeOfDay.hpp"
#include "LogFolders.hpp"
#include "PreferencesStore.hpp"
#include "RefreshPass.hpp"
#include "Report.hpp"
#include "ReportCommand.hpp"
#include "Setup.hpp"
#include "SnapshotJson.hpp"
#include "StatusLine.hpp"
#include "Terminal.hpp"
#include "Thresholds.hpp"
#include "UsageStore.hpp"
#include "Watch.hpp"

#include <csignal>
#include <string_view>
#include <unistd.h>

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
           "  waybar       one line of JSON for a Waybar custom module\n" +
           ReportCommand::usage() +
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
    const std::string_view command = argc > 1 ? argv[1] : "status";
    if (command == "--help" || command == "-h" || command == "help")
        return print(usage());
    if (command == "--version")
        return print(std::string("vellumkite-cli ") + VELLUMKITE_VERSION + "\n");
    // Before anything else is set up: the assistant starts this after every message.
    if (command == "statusline")
        return StatusLine::main(argc - 2, argv + 2, "vellumkite-cli statusline");
    if (command == "report") {
        std::signal(SIGPIPE, SIG_IGN);
        return ReportCommand::main(argc - 2, argv + 2);
    }
    if (command == "setup")
        return Setup::main(argc - 2, argv + 2);
    if (command == "doctor") {
        if (argc > 2)
            return usageError("unexpected argument: " + std::string(argv[2]));
        return Doctor::run(Terminal::reportStyle(STDOUT_FILENO).colour);
    }

    if (command != "status" && command != "watch" && command != "json" && command != "waybar")
        return usageError((command.starts_with('-') ? "unknown option: " : "unknown command: ") +
                          std::string(command));
    const bool jsonStream =
        command == "watch" && argc == 3 && std::string_view(argv[2]) == "--json";
    if (argc > 2 && !jsonStream)
        return usageError("unexpected argument: " + std::string(argv[2]));

    std::signal(SIGPIPE, SIG_IGN);
    const PreferencesStore preferences;
    RefreshPass::Inputs inputs;
    inputs.preferences = &preferences;
    inputs.timeOfDay = LocaleTimeOfDay::formatter();
    const LogFolders folders = LogFolders::find();
    for (const auto& entry : folders.missing)
        Fd::writeAll(STDERR_FILENO, "vellumkite-cli: CLAUDE_CONFIG_DIR names " + entry +
                                        ", which does not exist\n");
    UsageStore store(folders.folders, RefreshPass::kLookbackSeconds);

    if (command == "watch")
        return Watch::run(store, inputs, preferences, Terminal::isTerminal(STDOUT_FILENO),
                          jsonStream);

    const Snapshot snapshot = RefreshPass::run(store, inputs);
    if (command == "json")
        return print(SnapshotJson::full(snapshot) + "\n");
    if (command == "waybar") {
        const std::string chat = snapshot.currentChat ? "This chat: " + Report::chatText(snapshot)
                                                      : Report::chatText(snapshot);
        return print(SnapshotJson::waybar(snapshot, chat) + "\n");
    }
    return print(Report::render(snapshot, Thresholds::load(preferences, inputs.environment),
                                systemNow(), Terminal::reportStyle(STDOUT_FILENO)));
}

} // namespace vellumkite
