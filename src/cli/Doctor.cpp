#include "Doctor.hpp"

#include "AssistantConfig.hpp"
#include "DesktopProbe.hpp"
#include "Fd.hpp"
#include "Format.hpp"
#include "Limits.hpp"
#include "LogDirectory.hpp"
#include "LoginItem.hpp"
#include "SettingsText.hpp"
#include "SmallFile.hpp"
#include "StatusLineCommand.hpp"
#include "StatusLineSetup.hpp"
#include "UsageStore.hpp"

#include <algorithm>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace vellumkite {

namespace {

using Mark = Doctor::Mark;
using Check = Doctor::Check;

constexpr std::size_t kNameColumn = 16;
constexpr const char* kSetupHint = "Run \"vellumkite-cli setup\" to turn it on.";

std::string size(std::uint64_t bytes) {
    if (bytes < 1024)
        return std::to_string(bytes) + " bytes";
    if (bytes < 1024 * 1024)
        return std::to_string(bytes / 1024) + " KB";
    const auto tenths = bytes * 10 / (1024 * 1024);
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " MB";
}

Check logs(Instant now) {
    Check c{Mark::missing, "Chat logs", "", ""};
    const auto root = UsageStore::defaultRoot();
    std::error_code ec;
    if (!std::filesystem::is_directory(root, ec)) {
        c.detail = "no folder " + root.string();
        c.hint = "The assistant writes its chat logs there from its first chat on.";
        return c;
    }
    LogDirectory directory(root, false);
    const auto& files = directory.list();
    if (files.empty()) {
        c.detail = "no logs in " + root.string() + " yet";
        c.hint = "They appear with your first chat with the assistant.";
        return c;
    }
    auto newest = files.begin();
    for (auto it = files.begin(); it != files.end(); ++it)
        if (it->second.modified > newest->second.modified)
            newest = it;
    c.mark = Mark::ok;
    c.detail = std::to_string(files.size()) + (files.size() == 1 ? " log in " : " logs in ") +
               root.string() + "; the newest, " +
               std::filesystem::path(newest->first).lexically_relative(root).string() +
               ", changed " + Format::ago(newest->second.modified, now);
    return c;
}

// CLAUDE_CONFIG_DIR moves the assistant's logs away from the one folder that is read.
std::optional<Check> otherLogs(const Environment& env) {
    if (!env.get("CLAUDE_CONFIG_DIR"))
        return std::nullopt;
    const auto root = UsageStore::defaultRoot();
    std::string others;
    for (const auto& folder : AssistantConfig::folders(env)) {
        if (folder / "projects" != root)
            others += (others.empty() ? "" : ", ") + (folder / "projects").string();
    }
    if (others.empty())
        return std::nullopt;
    return Check{Mark::warning, "Other logs", "CLAUDE_CONFIG_DIR names " + others,
                 "Only " + root.string() + " is read; chats logged elsewhere are not counted."};
}

Check statusLine(const Environment& env, bool& on) {
    on = false;
    Check c{Mark::missing, "Status line", "", kSetupHint};
    const auto path = AssistantConfig::settingsFile(env);
    const std::string name = path.string();
    const SmallFile file = SmallFile::read(path, StatusLineSetup::kMaxSettingsSize);
    if (file.problem == SmallFile::Problem::missing) {
        c.detail = "not set up: there is no " + name;
        return c;
    }
    if (!file) {
        c.detail = "cannot read " + name +
                   (file.problem == SmallFile::Problem::unreadable
                        ? std::string(": ") + std::strerror(file.error)
                        : std::string(": not a regular file of a settings file's size"));
        c.hint = "";
        return c;
    }
    const SettingsText settings(file.bytes);
    if (!settings.valid()) {
        c.detail = name + ": " + settings.error();
        c.hint = "Fix the file; until then the assistant ignores it and setup leaves it alone.";
        return c;
    }
    const auto& command = settings.command();
    if (!command) {
        c.detail = "not set up in " + name;
        return c;
    }
    const auto parsed = StatusLineCommand::parse(*command);
    if (!parsed.ours) {
        c.detail = name + " runs another status line: " + *command;
        c.hint = "Run \"vellumkite-cli setup\": it keeps yours and runs it after ours.";
        return c;
    }
    if (!parsed.problem.empty()) {
        c.detail = "set up, but " + parsed.problem;
        c.hint = "Run \"vellumkite-cli setup\" to set it right.";
        return c;
    }
    if (!StatusLineSetup::findProgram(parsed.program)) {
        c.detail = "runs " + parsed.program + ", which is not there";
        c.hint = "Run \"vellumkite-cli setup\" to point it at this installation.";
        return c;
    }
    on = true;
    c.mark = Mark::ok;
    c.hint.clear();
    c.detail = "on in " + name;
    if (parsed.chained)
        c.detail += "; then runs " + *parsed.chained;
    return c;
}

Check limits(Instant now, bool statusLineOn) {
    Check c{Mark::missing, "Limit readings", "", ""};
    const auto path = Limits::file();
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) {
        c.detail = "none yet (" + path.string() + ")";
        c.hint = statusLineOn ? "They arrive with the assistant's next reply (on plans with "
                                "5-hour and weekly limits)."
                              : "They arrive once the status line is on.";
        return c;
    }
    const auto loaded = Limits::load(path, [now] { return now; });
    if (!loaded) {
        c.detail = path.string() + " cannot be read";
        c.hint = "The status line writes it again after the assistant's next reply.";
        return c;
    }
    c.mark = Mark::ok;
    c.detail = "saved " + Format::ago(loaded->savedAt, now);
    if (loaded->fiveHour)
        c.detail += "; 5-hour " + Format::percent(loaded->fiveHour->usedPercent);
    if (loaded->sevenDay)
        c.detail += "; weekly " + Format::percent(loaded->sevenDay->usedPercent);
    if (!loaded->fiveHour && !loaded->sevenDay)
        c.detail += "; both windows have reset since";
    return c;
}

Check notifications() {
    const auto owned = DesktopProbe::sessionBusHasOwner("org.freedesktop.Notifications");
    if (!owned)
        return {Mark::warning, "Notifications", "no session bus",
                "Alerts need a desktop session with a notification service."};
    if (!*owned)
        return {Mark::warning, "Notifications", "no notification service on the session bus",
                "Alerts need one: your desktop's own, or one such as dunst or mako."};
    return {Mark::ok, "Notifications", "a notification service is running", ""};
}

// The two ways Qt finds a tray on Linux, in its order: a StatusNotifierItem host registered on
// the session bus, else an XEmbed tray owning its selection on the X display.
Check tray() {
    if (DesktopProbe::sessionBusHasOwner("org.kde.StatusNotifierWatcher").value_or(false))
        return {Mark::ok, "System tray", "a StatusNotifierItem host on the session bus", ""};
    if (DesktopProbe::xembedTray().value_or(false))
        return {Mark::ok, "System tray",
                "an XEmbed tray on display " + std::string(std::getenv("DISPLAY")), ""};
    return {Mark::warning, "System tray", "none found",
            "Vellumkite runs without one; starting it again opens its window."};
}

Check autostart() {
    const LoginItem item;
    if (item.isEnabled())
        return {Mark::ok, "Open at login", "on (" + item.entryPath().toStdString() + ")", ""};
    return {Mark::info, "Open at login", "off",
            "Switch on \"Open at login\" in Vellumkite's window to have it start with you."};
}

Check history() {
    const auto path = Limits::file().parent_path() / "history.sqlite3";
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return {Mark::info, "History", "not created yet", ""};
    return {Mark::ok, "History",
            path.string() + " (" + size(static_cast<std::uint64_t>(st.st_size)) + ")", ""};
}

} // namespace

std::vector<Check> Doctor::checks(Instant now) {
    const Environment env = Environment::process();
    std::vector<Check> out;
    out.push_back(logs(now));
    if (auto other = otherLogs(env))
        out.push_back(*other);
    bool on = false;
    out.push_back(statusLine(env, on));
    out.push_back(limits(now, on));
    out.push_back(notifications());
    out.push_back(tray());
    out.push_back(autostart());
    out.push_back(history());
    return out;
}

std::string Doctor::render(const std::vector<Check>& checks, bool colour) {
    std::string out;
    int missing = 0;
    for (const auto& c : checks) {
        const char* symbol = "i";
        const char* code = "36";
        switch (c.mark) {
        case Mark::ok:
            symbol = "\u2713", code = "32";
            break;
        case Mark::missing:
            symbol = "\u2717", code = "31";
            ++missing;
            break;
        case Mark::warning:
            symbol = "!", code = "33";
            break;
        case Mark::info:
            break;
        }
        out += colour ? "\x1b[" + std::string(code) + "m" + symbol + "\x1b[0m" : symbol;
        out += " " + c.name;
        out += std::string(kNameColumn - std::min(kNameColumn - 1, c.name.size()), ' ');
        out += c.detail + "\n";
        if (!c.hint.empty())
            out += std::string(kNameColumn + 2, ' ') + c.hint + "\n";
    }
    out += "\n";
    out += missing == 0 ? "Everything needed is in place.\n"
                        : std::to_string(missing) +
                              (missing == 1 ? " needed piece is" : " needed pieces are") +
                              " missing: see the hints above.\n";
    return out;
}

int Doctor::run(bool colour) {
    const auto all = checks(systemNow());
    const bool missing =
        std::any_of(all.begin(), all.end(), [](const Check& c) { return c.mark == Mark::missing; });
    if (!Fd::writeAll(STDOUT_FILENO, render(all, colour)))
        return 1;
    return missing ? 1 : 0;
}

} // namespace vellumkite
