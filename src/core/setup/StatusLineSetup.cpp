#include "StatusLineSetup.hpp"

#include "AssistantConfig.hpp"
#include "AtomicFile.hpp"
#include "Fd.hpp"
#include "ProgramPath.hpp"
#include "SettingsText.hpp"
#include "SetupRecord.hpp"
#include "SmallFile.hpp"
#include "StatusLineCommand.hpp"
#include "UniqueFd.hpp"
#include "UserFolders.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vellumkite {

namespace {

using Plan = StatusLineSetup::Plan;

bool executable(const std::filesystem::path& p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(p.c_str(), X_OK) == 0;
}

Plan refuse(Plan p, std::string why) {
    p.kind = StatusLineSetup::Kind::refused;
    p.message = std::move(why);
    return p;
}

// Owned by the user running this, or by root (the system's own folders and links).
bool trusted(uid_t owner) {
    return owner == ::geteuid() || owner == 0;
}

// The first link on the way to `file`, as the system follows the path, or the first folder that
// will hold what is written (a backup, a new file), that belongs to someone else. Written
// through, that user's link or folder would decide what is overwritten, or who reads the copy.
std::optional<std::filesystem::path> foreignOnTheWay(const std::filesystem::path& file) {
    std::vector<std::string> todo;
    for (const auto& part : file.relative_path())
        todo.push_back(part.string());
    std::reverse(todo.begin(), todo.end());
    std::filesystem::path at =
        file.is_absolute() ? file.root_path() : std::filesystem::current_path();
    int links = 0;
    while (!todo.empty()) {
        const std::string part = todo.back();
        todo.pop_back();
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            at = at.parent_path();
            continue;
        }
        const auto next = at / part;
        struct stat st {};
        if (::lstat(next.c_str(), &st) != 0) {
            at = next; // nothing further to follow: what is missing is made where it would be
            break;
        }
        if (!S_ISLNK(st.st_mode)) {
            at = next;
            continue;
        }
        if (!trusted(st.st_uid))
            return next;
        std::error_code ec;
        const auto target = std::filesystem::read_symlink(next, ec);
        if (ec || ++links > 40)
            return std::nullopt; // reading it fails on its own
        for (auto it = target.end(); it != target.begin();)
            if (const auto name = (--it)->string(); !name.empty() && name != "/")
                todo.push_back(name);
        if (target.is_absolute())
            at = target.root_path();
    }
    // The folders written: the one the link sits in (its backup) and the target's (the file).
    for (const auto& folder : {file.parent_path(), at.parent_path()}) {
        struct stat st {};
        if (!folder.empty() && ::stat(folder.c_str(), &st) == 0 && !trusted(st.st_uid))
            return folder;
    }
    return std::nullopt;
}

// Reads the settings file into the plan; why not, when it must not be edited.
std::optional<std::string> load(const StatusLineSetup::Files& files, Plan& p) {
    p.settings = p.target = files.settings;
    p.record = files.record;
    const std::string name = files.settings.string();
    if (files.settings.empty())
        return "There is no home folder to find the assistant's settings in.";
    if (const auto foreign = foreignOnTheWay(files.settings)) {
        std::error_code ec;
        return name +
               (std::filesystem::is_symlink(*foreign, ec) ? " is reached through the link "
                                                          : " is in the folder ") +
               foreign->string() +
               ", which belongs to another user; it was left as it is. Run this as that user.";
    }
    std::error_code ec;
    if (std::filesystem::is_symlink(files.settings, ec)) {
        p.target = std::filesystem::canonical(files.settings, ec);
        if (ec)
            return name + " is a symbolic link to a file that does not exist; it was left as it "
                          "is.";
    }
    const SmallFile file = SmallFile::read(p.target, StatusLineSetup::kMaxSettingsSize);
    switch (file.problem) {
    case SmallFile::Problem::none:
        break;
    case SmallFile::Problem::missing:
        return std::nullopt;
    case SmallFile::Problem::notRegular:
        return name + " is not a regular file; it was left as it is.";
    case SmallFile::Problem::tooLarge:
        return name + " is too large to be a settings file; it was left as it is.";
    case SmallFile::Problem::unreadable:
        return "Cannot read " + name + ": " + std::strerror(file.error) + ".";
    }
    p.exists = true;
    p.original = file.bytes;
    p.mode = file.info.st_mode & 07777;
    if (file.info.st_uid != ::geteuid())
        return name + " belongs to another user; it was left as it is. Run this as that user.";
    // Checked on the mode, not with access(): as root access() allows everything.
    if ((p.mode & S_IWUSR) == 0)
        return name + " is read-only; it was left as it is. Make it writable (chmod u+w) to let "
                      "Vellumkite change it, or edit it by hand.";
    return std::nullopt;
}

// The settings as text, or why they cannot be edited.
std::optional<std::string> parse(const Plan& p, std::optional<SettingsText>& settings) {
    settings.emplace(p.original);
    if (settings->valid())
        return std::nullopt;
    return p.settings.string() + " was left as it is: " + settings->error() +
           ". Fix it, then run this again.";
}

std::optional<std::string> text(std::optional<std::string_view> s) {
    return s ? std::optional(std::string(*s)) : std::nullopt;
}

// The value on lines of its own, two spaces in: its first line starts where the key ended, so
// the indentation the others share with it in the file is taken off.
std::string indented(const std::string& value) {
    std::size_t common = std::string::npos;
    for (std::size_t nl = value.find('\n'); nl != std::string::npos; nl = value.find('\n', nl + 1))
        common = std::min(common, value.find_first_not_of(" \t", nl + 1) - nl - 1);
    std::string out = "  ";
    for (std::size_t i = 0; i < value.size(); ++i) {
        out += value[i];
        if (value[i] == '\n') {
            out += "  ";
            i += std::min(common, value.find_first_not_of(" \t", i + 1) - i - 1);
        }
    }
    return out + "\n";
}

std::string backupStamp(Instant now) {
    const std::time_t t = std::chrono::system_clock::to_time_t(
        std::chrono::time_point_cast<std::chrono::system_clock::duration>(now));
    std::tm local{};
    localtime_r(&t, &local);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y%m%d-%H%M%S", &local);
    return buf;
}

// A new file beside the settings, never one that exists: two changes within a second get -2.
std::optional<std::filesystem::path> writeBackup(const Plan& p, Instant now) {
    const std::string base = p.settings.string() + ".vellumkite-" + backupStamp(now);
    for (int n = 1; n < 100; ++n) {
        const std::string name = n == 1 ? base : base + "-" + std::to_string(n);
        UniqueFd file(
            ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!file) {
            if (errno == EEXIST)
                continue;
            return std::nullopt;
        }
        const int fd = file.get();
        bool ok =
            ::fchmod(fd, p.mode & 0777) == 0 && Fd::writeAll(fd, p.original) && ::fsync(fd) == 0;
        ok = file.close() && ok;
        if (!ok) {
            const int error = errno;
            ::unlink(name.c_str());
            errno = error;
            return std::nullopt;
        }
        return name;
    }
    errno = EEXIST;
    return std::nullopt;
}

} // namespace

StatusLineSetup::Files StatusLineSetup::Files::defaults(const Environment& env) {
    return {AssistantConfig::settingsFile(env), SetupRecord::defaultFile()};
}

std::optional<std::filesystem::path> StatusLineSetup::findProgram(const std::string& word) {
    if (word.empty())
        return std::nullopt;
    if (word.starts_with("~/")) {
        const auto home = UserFolders::home();
        return !home.empty() && executable(home / word.substr(2))
                   ? std::optional(home / word.substr(2))
                   : std::nullopt;
    }
    if (word.find('/') != std::string::npos)
        return executable(word) ? std::optional<std::filesystem::path>(word) : std::nullopt;
    const char* path = std::getenv("PATH");
    std::string_view dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
    while (true) {
        const std::size_t colon = dirs.find(':');
        const std::filesystem::path dir(dirs.substr(0, colon));
        if (!dir.empty() && executable(dir / word))
            return dir / word;
        if (colon == std::string_view::npos)
            return std::nullopt;
        dirs.remove_prefix(colon + 1);
    }
}

std::optional<std::filesystem::path>
StatusLineSetup::program(const std::vector<std::filesystem::path>& fallbacks) {
    if (const auto self = ProgramPath::self(); !self.empty()) {
        const auto beside = self.parent_path() / StatusLineCommand::kProgram;
        if (executable(beside))
            return beside;
    }
    for (const auto& f : fallbacks)
        if (executable(f))
            return f.lexically_normal();
    return std::nullopt;
}

StatusLineSetup::Plan StatusLineSetup::turnOn(const Files& files,
                                              const std::filesystem::path& program) {
    Plan p;
    std::optional<SettingsText> read;
    if (auto why = load(files, p); why || (why = parse(p, read)))
        return refuse(p, *why);
    const SettingsText& settings = *read;
    p.before = text(settings.statusLine());
    std::string previous;
    if (const auto& command = settings.command()) {
        const auto parsed = StatusLineCommand::parse(*command);
        if (parsed.ours && parsed.problem.empty() && findProgram(parsed.program)) {
            p.kind = Kind::nothingToDo;
            p.message = "The status line is already on in " + p.settings.string() + ".";
            return p;
        }
        // Ours gone astray (moved, or garbled by hand): ours again, with what it chained.
        previous = parsed.ours ? parsed.chained.value_or("") : *command;
    }
    p.contents = settings.withCommand(StatusLineCommand::chain(program, previous));
    p.after = text(SettingsText(p.contents).statusLine());
    p.kind = Kind::change;
    return p;
}

StatusLineSetup::Plan StatusLineSetup::turnOff(const Files& files) {
    Plan p;
    p.turningOn = false;
    std::optional<SettingsText> read;
    if (auto why = load(files, p); why || (why = parse(p, read)))
        return refuse(p, *why);
    const SettingsText& settings = *read;
    const auto& command = settings.command();
    const auto parsed = StatusLineCommand::parse(command.value_or(""));
    if (!parsed.ours) {
        p.kind = Kind::nothingToDo;
        p.message = "Vellumkite's status line is not set in " + p.settings.string() +
                    "; there is nothing to undo.";
        return p;
    }
    p.before = text(settings.statusLine());
    const auto record = SetupRecord::load(p.record);
    const auto it = record.entries.find(p.target.string());
    if (it != record.entries.end() && p.before == it->second.after)
        p.contents = settings.withStatusLine(it->second.before);
    else if (parsed.chained) // changed since, or set by hand: take ours out of the chain
        p.contents = settings.withCommand(*parsed.chained);
    else
        p.contents = settings.withStatusLine(std::nullopt);
    p.after = text(SettingsText(p.contents).statusLine());
    p.kind = Kind::change;
    return p;
}

std::string StatusLineSetup::Plan::describe() const {
    const std::string file = settings.string();
    if (!exists)
        return file + " will be created with\n" + indented("\"statusLine\": " + *after);
    if (!before)
        return "In " + file + ", \"statusLine\" will be added:\n" + indented(*after);
    if (!after)
        return "In " + file + ", \"statusLine\" will be removed. It was\n" + indented(*before);
    return "In " + file + ", \"statusLine\" will change from\n" + indented(*before) + "to\n" +
           indented(*after);
}

StatusLineSetup::Outcome StatusLineSetup::apply(const Plan& plan, const Clock& clock) {
    Outcome out;
    const std::string name = plan.settings.string();
    const auto fail = [&](std::string why) {
        out.message = std::move(why);
        return out;
    };
    if (plan.kind != Kind::change)
        return fail(plan.message);
    // The assistant may have rewritten the file since it was read; never write over that.
    const SmallFile now = SmallFile::read(plan.target, kMaxSettingsSize);
    const bool unchanged = plan.exists ? now && now.bytes == plan.original
                                       : now.problem == SmallFile::Problem::missing;
    if (!unchanged)
        return fail(name + " changed while it was being edited; nothing was written. Run this "
                           "again.");

    SetupRecord record = SetupRecord::load(plan.record);
    const std::string key = plan.target.string();
    if (plan.turningOn) {
        record.entries[key] = {plan.before, plan.after.value_or("")};
        if (!record.save(plan.record))
            return fail("Cannot save " + plan.record.string() + " (" + std::strerror(errno) +
                        "), which an undo needs; nothing was changed.");
    }
    if (plan.exists) {
        const auto backup = writeBackup(plan, clock ? clock() : systemNow());
        if (!backup)
            return fail("Cannot write a backup beside " + name + " (" + std::strerror(errno) +
                        "); nothing was changed.");
        out.backup = *backup;
    }
    if (!AtomicFile::replace(plan.target, plan.contents, plan.mode))
        return fail("Cannot write " + plan.target.string() + ": " + std::strerror(errno) + ".");
    if (!plan.turningOn) {
        record.entries.erase(key);
        record.save(plan.record);
    }
    out.ok = true;
    return out;
}

} // namespace vellumkite
