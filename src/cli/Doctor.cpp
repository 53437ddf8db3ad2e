#include "Doctor.hpp"

#include "AssistantConfig.hpp"
#include "DesktopProbe.hpp"
#include "Fd.hpp"
#include "Format.hpp"
#include "HistoryDatabase.hpp"
#include "HistoryQuery.hpp"
#include "Limits.hpp"
#include "LocalDate.hpp"
#include "LogDirectory.hpp"
#include "LogFolders.hpp"
#include "LoginItem.hpp"
#include "MachineIdentity.hpp"
#include "PreferenceKeys.hpp"
#include "PreferencesStore.hpp"
#include "PriceTable.hpp"
#include "QtText.hpp"
#include "SettingsText.hpp"
#include "SmallFile.hpp"
#include "StatusLineCommand.hpp"
#include "StatusLineSetup.hpp"
#include "SyncFolder.hpp"
#include "SyncMachines.hpp"

#include <algorithm>
#include <cstring>
#include <map>
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

Check logs(const LogFolders& folders, Instant now) {
    Check c{Mark::missing, "Chat logs", "", ""};
    std::size_t count = 0;
    std::string newestPath;
    Instant newest = kDistantPast;
    std::string names;
    for (const auto& folder : folders.folders) {
        names += (names.empty() ? "" : ", ") + folder.string();
        LogDirectory directory(folder, false);
        for (const auto& [path, entry] : directory.list()) {
            ++count;
            if (entry.modified > newest) {
                newest = entry.modified;
                newestPath = std::filesystem::path(path).lexically_relative(folder).string();
            }
        }
    }
    if (folders.folders.empty()) {
        c.detail = "no log folder: none of CLAUDE_CONFIG_DIR's folders exists";
        c.hint = "Point CLAUDE_CONFIG_DIR at the assistant's folder, or unset it.";
        return c;
    }
    if (count == 0) {
        c.detail = "no logs in " + names + " yet";
        c.hint = "They appear with your first chat with the assistant.";
        return c;
    }
    c.mark = Mark::ok;
    c.detail = std::to_string(count) + (count == 1 ? " log in " : " logs in ") + names +
               "; the newest, " + newestPath + ", changed " + Format::ago(newest, now);
    return c;
}

// Entries of CLAUDE_CONFIG_DIR that name nothing: the chats logged there are not read.
std::optional<Check> missingFolders(const LogFolders& folders) {
    if (folders.missing.empty())
        return std::nullopt;
    std::string names;
    for (const auto& m : folders.missing)
        names += (names.empty() ? "" : ", ") + m;
    return Check{
        Mark::warning, "Log folders",
        "CLAUDE_CONFIG_DIR names " + names +
            (folders.missing.size() == 1 ? ", which does not exist" : ", which do not exist"),
        "Correct the variable, or remove what is no longer there."};
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

#ifndef __APPLE__
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
#endif

Check autostart() {
    const LoginItem item;
    if (item.isEnabled())
        return {Mark::ok, "Open at login", "on (" + utf8(item.entryPath()) + ")", ""};
    return {Mark::info, "Open at login", "off",
            "Switch on \"Open at login\" in Vellumkite's window to have it start with you."};
}

// Looks at the history without opening it for writing: nothing in the doctor writes.
Check history() {
    const auto path = HistoryDatabase::defaultFile();
    const auto place = HistoryDatabase::inspect(path);
    if (place.kind == HistoryDatabase::Place::Kind::missing)
        return {Mark::info, "History", "not created yet",
                "The tray app or \"vellumkite-cli report\" creates it from the logs."};
    if (place.kind != HistoryDatabase::Place::Kind::writable)
        return {Mark::missing, "History", path.string() + " " + place.problem, place.fix};
    struct stat st {};
    ::stat(path.c_str(), &st);
    std::string error;
    auto db = HistoryDatabase::openToRead(path, &error);
    if (db && HistoryDatabase::damaged(*db))
        return {Mark::missing, "History", path.string() + " is damaged",
                "The tray app or \"vellumkite-cli report\" sets it aside and rebuilds it from "
                "the logs that are still there."};
    const auto version = db ? db->queryInteger("PRAGMA user_version") : std::nullopt;
    if (!version)
        return {Mark::missing, "History",
                path.string() + " cannot be read: " + (db ? db->lastError() : error),
                "Make it readable and writable for yourself (chmod 600 " + path.string() + ")."};
    if (*version > HistoryDatabase::kVersion)
        return {Mark::warning, "History", path.string() + " was written by a newer version",
                "History is off until that version runs again."};
    const auto replies = db->queryInteger("SELECT count(*) FROM replies").value_or(0);
    const auto first = db->queryInteger("SELECT min(time) FROM replies");
    std::string detail = path.string() + " (" + size(static_cast<std::uint64_t>(st.st_size)) +
                         "), " + Format::grouped(replies) + " replies";
    if (first && replies > 0)
        detail += " since " + LocalDate::of(Instant{std::chrono::microseconds(*first)}).text();
    if (place.mode & 077)
        return {Mark::warning, "History", detail + "; others can read it",
                "The tray app or \"vellumkite-cli report\" makes it yours alone (0600)."};
    return {Mark::ok, "History", detail, ""};
}

// The price files that cannot be taken, and the models in the history the book has no price
// for. Nothing is written: the history is only read.
std::vector<Check> prices() {
    std::vector<std::string> problems;
    const PriceTable book = PriceTable::standard(&problems);
    std::vector<Check> out;
    for (const auto& p : problems)
        out.push_back({Mark::warning, "Prices", p, "Fix the file, or move it away."});
    std::optional<std::map<std::string, UsageTotals>> unpriced;
    const auto path = HistoryDatabase::defaultFile();
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0)
        if (const auto db = SqliteDatabase::open(path, SqliteDatabase::Mode::readOnly))
            unpriced = HistoryQuery(*db).unpriced(book);
    if (unpriced && !unpriced->empty()) {
        std::string names;
        for (const auto& [model, usage] : *unpriced)
            names += (names.empty() ? "" : ", ") + model;
        out.push_back({Mark::warning, "Prices",
                       std::to_string(unpriced->size()) +
                           (unpriced->size() == 1 ? " model" : " models") +
                           " in the history without a price: " + names,
                       "Add their prices with \"vellumkite-cli prices import FILE\"; "
                       "\"vellumkite-cli prices\" lists the book."});
    } else if (problems.empty()) {
        out.push_back({Mark::ok, "Prices",
                       "the book of " + book.checked() + ", " + std::to_string(book.size()) +
                           " models" + (unpriced ? "; every model in the history has a price" : ""),
                       ""});
    }
    return out;
}

// The sync folder and each machine's file in it, looked at only: the history is read for the
// machines' names and what could not be taken in.
std::vector<Check> sync(Instant now) {
    const PreferencesStore preferences;
    const std::filesystem::path folder = utf8(preferences.get(PreferenceKeys::syncFolder));
    if (folder.empty())
        return {{Mark::info, "Sync", "off",
                 "\"vellumkite-cli sync FOLDER\" counts your other machines' usage too, through "
                 "a folder that they keep in step."}};
    if (const auto problem = SyncFolder::problem(folder))
        return {{Mark::warning, "Sync", folder.string() + " " + *problem,
                 "Nothing is published or taken in until it is back; \"vellumkite-cli sync "
                 "--off\" turns sync off."}};
    const auto me = MachineIdentity::read(MachineIdentity::defaultFile());
    std::vector<SyncMachine> known;
    const auto path = HistoryDatabase::defaultFile();
    struct stat st {};
    if (me && ::stat(path.c_str(), &st) == 0)
        if (const auto db = SqliteDatabase::open(path, SqliteDatabase::Mode::readOnly))
            known = SyncMachines::list(*db, *me, true).value_or(known);
    const auto listing = SyncFolder::list(folder);
    std::vector<Check> out;
    std::string others;
    std::optional<Instant> published; // this machine's file
    for (const auto& file : listing.files) {
        if (me && file.machine == me->id) {
            published = file.modified;
            continue;
        }
        const auto m = std::find_if(known.begin(), known.end(),
                                    [&](const SyncMachine& k) { return k.id == file.machine; });
        const std::string name = m != known.end() ? m->name : file.machine.substr(0, 8);
        others += (others.empty() ? "" : ", ") + name + " " + Format::ago(file.modified, now);
        if (m != known.end() && !m->problem.empty())
            out.push_back({Mark::warning, "Sync", name + "'s file could not be read: " + m->problem,
                           "It is tried again when it changes: that machine writes it anew when "
                           "it next publishes."});
    }
    std::string detail = folder.string() + ": this machine " +
                         (published ? "published " + Format::ago(*published, now)
                                    : std::string("has not published yet"));
    detail += others.empty() ? "; no other machine yet" : "; " + others;
    out.insert(out.begin(), {published ? Mark::ok : Mark::warning, "Sync", detail,
                             published ? ""
                                       : "The tray app or \"vellumkite-cli report\" publishes "
                                         "this machine's history there."});
    std::vector<std::string> copies;
    for (const auto& name : listing.ignored)
        if (!name.starts_with("."))
            copies.push_back(name);
    if (!copies.empty()) {
        std::string names;
        for (const auto& n : copies)
            names += (names.empty() ? "" : ", ") + n;
        out.push_back({Mark::info, "Sync", "left alone (not a machine's file): " + names,
                       "Copies a sync engine made of a file written on two machines at once; "
                       "delete them when you like."});
    }
    return out;
}

} // namespace

std::vector<Check> Doctor::checks(Instant now) {
    const Environment env = Environment::process();
    std::vector<Check> out;
    const LogFolders folders = LogFolders::find(env);
    out.push_back(logs(folders, now));
    if (auto missing = missingFolders(folders))
        out.push_back(*missing);
    bool on = false;
    out.push_back(statusLine(env, on));
    out.push_back(limits(now, on));
#ifndef __APPLE__
    // A Mac always has its menu bar, and the alerts go through the menu-bar item.
    out.push_back(notifications());
    out.push_back(tray());
#endif
    out.push_back(autostart());
    out.push_back(history());
    for (auto& c : prices())
        out.push_back(std::move(c));
    for (auto& c : sync(now))
        out.push_back(std::move(c));
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
