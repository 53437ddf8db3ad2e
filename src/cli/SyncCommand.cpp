#include "SyncCommand.hpp"

#include "Fd.hpp"
#include "Format.hpp"
#include "HistoryDatabase.hpp"
#include "PreferencesStore.hpp"
#include "QtText.hpp"
#include "StatusScreen.hpp"
#include "SyncFolder.hpp"
#include "SyncMachines.hpp"
#include "SyncStep.hpp"

#include <set>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace vellumkite {

namespace {

int fail(int code, const std::string& message) {
    (void)Fd::writeAll(STDERR_FILENO, "vellumkite-cli sync: " + message + "\n");
    return code;
}

int print(const std::string& text) {
    return Fd::writeAll(STDOUT_FILENO, text) ? 0 : 1;
}

std::string pad(const std::string& text, std::size_t width, bool left = true) {
    const std::size_t n = StatusScreen::columns(text);
    const std::string fill(width > n ? width - n : 0, ' ');
    return left ? text + fill : fill + text;
}

// The history to show or change; nothing, with a line, when there is none to open.
std::optional<SqliteDatabase> openHistory(bool create) {
    const auto file = HistoryDatabase::defaultFile();
    if (!create && HistoryDatabase::inspect(file).kind == HistoryDatabase::Place::Kind::missing)
        return std::nullopt;
    auto opened = HistoryDatabase::open(file);
    if (!opened.message.empty())
        (void)Fd::writeAll(STDERR_FILENO, "vellumkite-cli: " + opened.message + "\n");
    return std::move(opened.db);
}

// Every machine the history holds, this one first, with what the folder says of each file.
std::string machinesText(const SqliteDatabase& db, const MachineIdentity& me,
                         const std::filesystem::path& folder) {
    const auto machines = SyncMachines::list(db, me, true);
    if (!machines)
        return "The history could not be read: " + db.lastError() + "\n";
    std::set<std::string> there;
    SyncFolder::Listing listing;
    if (!folder.empty()) {
        listing = SyncFolder::list(folder);
        for (const auto& f : listing.files)
            there.insert(f.machine);
    }
    const Instant now = systemNow();
    struct Row {
        std::vector<std::string> cells;
        std::string note;
    };
    std::vector<Row> rows;
    std::vector<std::string> forgotten;
    for (const auto& m : *machines) {
        if (m.forgotten) {
            forgotten.push_back(m.name + " (" + m.id.substr(0, 8) + ")");
            continue;
        }
        const auto days = SyncMachines::days(db, m).value_or(SyncMachines::Days{});
        Row row;
        row.cells = {m.name + (m.self ? " *" : ""),
                     m.id.substr(0, 8),
                     m.published ? Format::ago(*m.published, now) : std::string(Format::kNoValue),
                     Format::grouped(days.count),
                     days.first ? days.first->text() + " to " + days.last->text()
                                : std::string(Format::kNoValue),
                     Format::grouped(m.replies)};
        if (!m.problem.empty())
            row.note =
                "its file could not be read (" + m.problem + "); it is tried again when it changes";
        else if (!m.self && !folder.empty() && listing.problem.empty() && !there.contains(m.id))
            row.note = "its file is no longer in the folder; what was taken in stays";
        rows.push_back(std::move(row));
    }
    const std::vector<std::string> headers = {"Machine", "Id",       "Published",
                                              "Days",    "Covering", "Replies"};
    std::vector<std::size_t> widths;
    for (std::size_t c = 0; c < headers.size(); ++c) {
        std::size_t w = StatusScreen::columns(headers[c]);
        for (const auto& r : rows)
            w = std::max(w, StatusScreen::columns(r.cells[c]));
        widths.push_back(w);
    }
    const auto line = [&](const std::vector<std::string>& cells) {
        std::string out;
        for (std::size_t c = 0; c < cells.size(); ++c) {
            const bool number = c == 3 || c == 5;
            out += (c ? "  " : "") + pad(cells[c], widths[c], !number);
        }
        while (!out.empty() && out.back() == ' ')
            out.pop_back();
        return out + "\n";
    };
    std::string out = line(headers);
    for (const auto& r : rows) {
        out += line(r.cells);
        if (!r.note.empty())
            out += "  " + r.note + "\n";
    }
    out += "* this machine. Replies are each machine's own; a report counts a reply on two "
           "machines once.\n";
    if (!forgotten.empty()) {
        out += "Forgotten (their files are passed over until they change):";
        for (const auto& f : forgotten)
            out += " " + f;
        out += "\n";
    }
    std::vector<std::string> left;
    for (const auto& name : listing.ignored)
        if (!name.starts_with("."))
            left.push_back(name);
    if (!left.empty()) {
        out += "Left alone in the folder (not named as a machine's file, e.g. a sync engine's "
               "conflict copy):\n";
        for (const auto& name : left)
            out += "  " + name + "\n";
    }
    return out;
}

int showStatus(const std::filesystem::path& folder) {
    const MachineIdentity me = SyncStep::identity();
    std::string out;
    if (folder.empty()) {
        out = "Sync is off. Turn it on with \"vellumkite-cli sync FOLDER\", FOLDER being one that "
              "your machines keep in step.\n";
    } else {
        out = "Sync folder   " + folder.string() + "\n";
        if (const auto problem = SyncFolder::problem(folder))
            out += "              it " + *problem + ": nothing is published or taken in\n";
    }
    out += "This machine  " + me.name + " (" + (me.id.empty() ? "no id" : me.id) + ")\n";
    if (const auto db = openHistory(false)) {
        out += "\n" + machinesText(*db, me, folder);
    } else {
        out += "\nNo history yet: \"vellumkite-cli report daily\" or the app begins it.\n";
    }
    return print(out);
}

int turnOn(const std::string& given, const std::optional<std::string>& name) {
    PreferencesStore preferences;
    std::filesystem::path folder = preferences.get(PreferenceKeys::syncFolder).isEmpty()
                                       ? std::filesystem::path()
                                       : SyncStep::folder(preferences);
    if (!given.empty()) {
        std::error_code ec;
        folder = std::filesystem::absolute(given, ec).lexically_normal();
        if (folder.has_filename() == false && folder.has_parent_path())
            folder = folder.parent_path();
        if (const auto problem = SyncFolder::problem(folder))
            return fail(1, "the folder " + folder.string() + " " + *problem +
                               "; sync is left as it was");
    }
    MachineIdentity me = SyncStep::identity();
    if (me.id.empty())
        return 1;
    if (name) {
        const std::string clean = MachineIdentity::cleanName(*name);
        if (clean.empty())
            return fail(2, "--name wants a name with something printable in it");
        me.name = clean;
        if (!me.save(MachineIdentity::defaultFile()))
            return fail(1, "cannot save this machine's name in " +
                               MachineIdentity::defaultFile().string());
    }
    if (!given.empty() && !preferences.set(PreferenceKeys::syncFolder, qs(folder.string())))
        return fail(1, "cannot save the folder in " + utf8(preferences.path()));
    if (folder.empty())
        return print("This machine is now called " + me.name +
                     ". Sync is off: \"vellumkite-cli sync FOLDER\" turns it on.\n");
    // What the history holds now goes out at once; the next report or the app's next pass
    // brings the newest logs.
    if (const auto db = openHistory(true))
        SyncStep::run(*db, me, folder);
    (void)Fd::writeAll(STDOUT_FILENO, "Sync is on: this machine publishes its history to " +
                                          (folder / SyncFolder::fileName(me.id)).string() +
                                          " and takes in the other machines' files there.\n\n");
    return showStatus(folder);
}

int turnOff() {
    PreferencesStore preferences;
    const auto folder = SyncStep::folder(preferences);
    if (folder.empty())
        return print("Sync is already off.\n");
    if (!preferences.set(PreferenceKeys::syncFolder, QString()))
        return fail(1, "cannot save the change in " + utf8(preferences.path()));
    const MachineIdentity me = SyncStep::identity();
    std::string out = "Sync is off. This machine's file stays in " + folder.string() + " (" +
                      SyncFolder::fileName(me.id) + "): delete it once no machine needs it.\n";
    if (const auto db = openHistory(false)) {
        const auto machines = SyncMachines::list(*db, me).value_or(std::vector<SyncMachine>{});
        if (machines.size() > 1)
            out += "The " + std::to_string(machines.size() - 1) +
                   " other machines' history stays in the reports; \"vellumkite-cli sync "
                   "--forget NAME\" takes one out.\n";
    }
    return print(out);
}

int forget(const std::string& text) {
    const auto db = openHistory(false);
    if (!db)
        return fail(1, "there is no history to forget a machine in");
    const MachineIdentity me = SyncStep::identity();
    const auto machines = SyncMachines::list(*db, me);
    if (!machines)
        return fail(1, "the history could not be read: " + db->lastError());
    std::vector<const SyncMachine*> matches;
    const auto* m = SyncMachines::find(*machines, text, &matches);
    if (!m) {
        if (matches.empty())
            return fail(2, "no other machine is named " + text);
        std::string ids;
        for (const auto* one : matches)
            ids += " " + one->id;
        return fail(2, text + " names " + std::to_string(matches.size()) +
                           " machines; give an id:" + ids);
    }
    if (m->self)
        return fail(2, "this machine cannot be forgotten; \"vellumkite-cli sync --off\" stops "
                       "sharing its history");
    if (!SyncMachines::forget(*db, m->number))
        return fail(1, "the history could not be changed (" + db->lastError() +
                           "); try again in a moment");
    PreferencesStore preferences;
    const auto folder = SyncStep::folder(preferences);
    std::string out = "Forgot " + m->name + " (" + m->id + "): its " + Format::grouped(m->replies) +
                      " replies are out of this machine's history.\n";
    if (!folder.empty() && std::filesystem::exists(folder / SyncFolder::fileName(m->id)))
        out += "Its file is still in " + folder.string() +
               " and is passed over until it changes; delete it there to be rid of it.\n";
    return print(out);
}

} // namespace

int SyncCommand::main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv, argv + argc);
    if (args.empty()) {
        const PreferencesStore preferences;
        return showStatus(SyncStep::folder(preferences));
    }
    if (args.size() == 1 && args[0] == "--off")
        return turnOff();
    if (args[0] == "--forget")
        return args.size() == 2 && !args[1].empty() ? forget(std::string(args[1]))
                                                    : fail(2, "--forget wants a machine's name "
                                                              "or id");
    std::string folder;
    std::optional<std::string> name;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--name" || args[i].starts_with("--name=")) {
            if (args[i] == "--name" && i + 1 >= args.size())
                return fail(2, "--name wants a name");
            name = std::string(args[i] == "--name" ? args[++i] : args[i].substr(7));
        } else if (args[i].starts_with("-") || !folder.empty()) {
            return fail(2, "unexpected argument: " + std::string(args[i]));
        } else {
            folder = std::string(args[i]);
        }
    }
    return turnOn(folder, name);
}

} // namespace vellumkite
