#include "Setup.hpp"

#include "Cli.hpp"
#include "Fd.hpp"
#include "StatusLineSetup.hpp"
#include "Terminal.hpp"

#include <cerrno>
#include <string>
#include <string_view>
#include <unistd.h>

namespace vellumkite {

namespace {

bool say(const std::string& text) {
    return Fd::writeAll(STDOUT_FILENO, text);
}

int fail(const std::string& text) {
    Fd::writeAll(STDERR_FILENO, "vellumkite-cli: " + text + "\n");
    return 1;
}

// One line from the terminal; false at its end.
bool readAnswer(std::string& answer) {
    answer.clear();
    char c = 0;
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return !answer.empty();
        if (c == '\n')
            return true;
        if (answer.size() < 64)
            answer += c;
    }
}

} // namespace

int Setup::main(int argc, char** argv) {
    bool yes = false, undo = false;
    for (int i = 0; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (a == "--yes" || a == "-y") {
            yes = true;
        } else if (a == "--undo") {
            undo = true;
        } else {
            Fd::writeAll(STDERR_FILENO, "vellumkite-cli: unknown option for setup: " +
                                            std::string(a) + "\n\n" + Cli::usage());
            return 2;
        }
    }

    const auto files = StatusLineSetup::Files::defaults();
    StatusLineSetup::Plan plan;
    std::string program;
    if (undo) {
        plan = StatusLineSetup::turnOff(files);
    } else {
        const auto found = StatusLineSetup::program();
        if (!found)
            return fail("cannot find vellumkite-statusline beside this program; is Vellumkite "
                        "installed completely?");
        program = found->string();
        plan = StatusLineSetup::turnOn(files, *found);
    }
    if (plan.kind == StatusLineSetup::Kind::refused)
        return fail(plan.message);
    if (plan.kind == StatusLineSetup::Kind::nothingToDo)
        return say(plan.message + "\n") ? 0 : 1;

    say(plan.describe());
    if (!yes) {
        if (!Terminal::isTerminal(STDIN_FILENO))
            return fail("nothing was changed. Run \"vellumkite-cli setup" +
                        std::string(undo ? " --undo" : "") + " --yes\" to make this change.");
        say("Make this change? [y/N] ");
        std::string answer;
        if (!readAnswer(answer) || (answer != "y" && answer != "Y" && answer != "yes")) {
            say("Nothing was changed.\n");
            return 1;
        }
    }
    const auto outcome = StatusLineSetup::apply(plan);
    if (!outcome.ok)
        return fail(outcome.message);
    std::string done = undo ? "Done: the status line is as it was before Vellumkite.\n"
                            : "Done: the assistant now runs " + program +
                                  " as its status line.\nLimit readings arrive with the "
                                  "assistant's next reply.\n";
    if (!outcome.backup.empty())
        done += "The file as it was is kept in " + outcome.backup.string() + ".\n";
    return say(done) ? 0 : 1;
}

} // namespace vellumkite
