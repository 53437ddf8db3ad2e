#include "StatusLine.hpp"

#include "AtomicFile.hpp"
#include "BoundedInput.hpp"
#include "Fd.hpp"
#include "Format.hpp"
#include "LimitJournal.hpp"
#include "Limits.hpp"
#include "StatusLineLog.hpp"
#include "Subprocess.hpp"

#include <cctype>
#include <csignal>
#include <cstring>
#include <simdjson.h>
#include <unistd.h>
#include <vector>

#ifndef VELLUMKITE_VERSION
#define VELLUMKITE_VERSION "unknown"
#endif

namespace vellumkite {

namespace {

// The assistant writes its document and closes the pipe at once; this only guards against a
// writer that never does.
constexpr auto kInputTimeout = std::chrono::milliseconds(1000);
constexpr auto kCommandTimeout = std::chrono::milliseconds(3000);

std::optional<std::string> windowPercent(simdjson::dom::object rateLimits, const char* name) {
    double used = 0;
    if (rateLimits[name]["used_percentage"].get_double().get(used) != simdjson::SUCCESS)
        return std::nullopt;
    return Format::percent(used);
}

// input + cache writes + cache reads of the current context, when the document has any of them.
std::optional<std::int64_t> contextSize(simdjson::dom::object top) {
    simdjson::dom::object usage;
    if (top["context_window"]["current_usage"].get_object().get(usage) != simdjson::SUCCESS)
        return std::nullopt;
    std::int64_t sum = 0;
    bool any = false;
    for (const char* name :
         {"input_tokens", "cache_creation_input_tokens", "cache_read_input_tokens"}) {
        simdjson::dom::element e;
        if (usage[name].get(e) != simdjson::SUCCESS)
            continue;
        std::int64_t n = 0;
        if (e.get_int64().get(n) != simdjson::SUCCESS || __builtin_add_overflow(sum, n, &sum))
            return std::nullopt;
        any = true;
    }
    return any ? std::optional(sum) : std::nullopt;
}

bool blank(std::string_view text) {
    for (const char c : text)
        if (!std::isspace(static_cast<unsigned char>(c)))
            return false;
    return true;
}

} // namespace

StatusLine::Reading StatusLine::read(std::string_view input, Instant now) {
    Reading out;
    std::vector<std::string> parts;
    simdjson::dom::parser parser;
    simdjson::dom::element root;
    simdjson::dom::object top;
    if (!input.empty() && input.size() <= kMaxInput &&
        parser.parse(input.data(), input.size(), true).get(root) == simdjson::SUCCESS &&
        root.get_object().get(top) == simdjson::SUCCESS) {
        simdjson::dom::object rateLimits;
        if (top["rate_limits"].get_object().get(rateLimits) == simdjson::SUCCESS) {
            out.limitsFile = "{\"rate_limits\":" + simdjson::minify(rateLimits) + "}\n";
            if (auto why = Limits::refusal(*out.limitsFile, now)) {
                out.refused = std::move(*why);
                out.limitsFile.reset();
            } else {
                if (auto p = windowPercent(rateLimits, "five_hour"))
                    parts.push_back("5h " + *p);
                if (auto p = windowPercent(rateLimits, "seven_day"))
                    parts.push_back("wk " + *p);
            }
        }
        if (auto ctx = contextSize(top))
            parts.push_back("ctx " + Format::tokens(*ctx));
    }
    for (const auto& p : parts)
        out.line += (out.line.empty() ? "" : " \u00b7 ") + p;
    if (out.line.empty())
        out.line = "Vellumkite";
    return out;
}

std::string StatusLine::usage(const char* program) {
    const std::string p = program;
    return "Usage: " + p + " [-- COMMAND [ARGS...]]\n" +
           "\n"
           "The status-line command for Claude Code. It reads the JSON document the assistant\n"
           "sends on standard input, saves the official 5-hour and weekly limit readings for\n"
           "Vellumkite, and prints one line such as \"5h 34% \u00b7 wk 18% \u00b7 ctx 86k\".\n"
           "\n"
           "With -- COMMAND, the same input goes on to your own status-line command and its\n"
           "output is printed instead (our line when it fails or takes over 3 seconds).\n"
           "\n"
           "Turn it on in ~/.claude/settings.json:\n"
           "  \"statusLine\": {\"type\": \"command\",\n"
           "                 \"command\": \"/usr/local/bin/vellumkite-statusline\"}\n"
           "or, keeping the status line you had:\n"
           "  \"command\": \"/usr/local/bin/vellumkite-statusline -- your-old-command\"\n"
           "\n"
           "Options:\n"
           "  --help      show this text\n"
           "  --version   show the version\n";
}

int StatusLine::main(int argc, char** argv, const char* program) {
    std::vector<std::string> command;
    if (argc > 0) {
        const std::string_view first = argv[0];
        if (first == "--help" || first == "-h") {
            Fd::writeAll(1, usage(program));
            return 0;
        }
        if (first == "--version") {
            Fd::writeAll(1, std::string("Vellumkite ") + VELLUMKITE_VERSION + "\n");
            return 0;
        }
        if (first != "--" || argc < 2) {
            Fd::writeAll(2, usage(program));
            return 2;
        }
        command.assign(argv + 1, argv + argc);
    }
    // The command may exit without reading its input, and the assistant may close our output.
    std::signal(SIGPIPE, SIG_IGN);

    const BoundedInput input = BoundedInput::read(0, kMaxInput, kInputTimeout);
    // A document cut short (too big, or never finished) is malformed, whatever its start says.
    const Reading reading = read(input.complete ? std::string_view(input.bytes) : "");
    if (reading.limitsFile) {
        const auto file = Limits::file();
        // A failed save is not reported: the bar shows the line either way, and the next reply
        // saves again.
        if (!file.empty())
            static_cast<void>(AtomicFile::update(file, *reading.limitsFile));
        // After the file's flush, so that the journal's line is not made to wait for the disk:
        // the system writes it out in its own time. Kept to the millisecond.
        const auto now = std::chrono::time_point_cast<std::chrono::milliseconds>(systemNow());
        if (const auto r = LimitReading::fromLimitsFile(*reading.limitsFile, now))
            static_cast<void>(LimitJournal::append(LimitJournal::file(), *r));
    }
    if (!reading.refused.empty())
        StatusLineLog::add("rate_limits refused: " + reading.refused +
                           "; the reading saved before is kept");
    // A cut-off document is not passed on: the command would only see broken JSON.
    if (!command.empty() && input.complete) {
        const auto run = Subprocess::run(command, input.bytes, kCommandTimeout);
        if (run.started && !run.timedOut && run.exitCode == 0 && !blank(run.output)) {
            Fd::writeAll(1, run.output);
            return 0;
        }
    }
    Fd::writeAll(1, reading.line + "\n");
    return 0;
}

} // namespace vellumkite
