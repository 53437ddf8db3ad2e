#include "SyncStep.hpp"

#include "Fd.hpp"
#include "PreferenceKeys.hpp"
#include "QtText.hpp"
#include "SyncPublish.hpp"
#include "SyncTakeIn.hpp"
#include "WritablePreferences.hpp"

#include <unistd.h>

namespace vellumkite {

namespace {

void say(const std::string& line) {
    (void)Fd::writeAll(STDERR_FILENO, "vellumkite-cli: " + line + "\n");
}

} // namespace

std::filesystem::path SyncStep::folder(const WritablePreferences& preferences) {
    return utf8(preferences.get(PreferenceKeys::syncFolder));
}

MachineIdentity SyncStep::identity() {
    std::string problem;
    if (auto me = MachineIdentity::load(MachineIdentity::defaultFile(), &problem))
        return *me;
    say("sync: " + problem);
    return {"", MachineIdentity::hostName()};
}

void SyncStep::run(const SqliteDatabase& db, const MachineIdentity& me,
                   const std::filesystem::path& folder) {
    if (folder.empty() || me.id.empty())
        return;
    const Instant now = systemNow();
    const auto in = SyncTakeIn::run(db, folder, me.id, now);
    for (const auto& line : in.lines)
        say(line);
    const auto out = SyncPublish::run(db, me, folder, now);
    if (out.status == SyncPublish::Status::failed)
        say(out.message);
}

std::vector<SyncMachine> SyncStep::counted(const SqliteDatabase& db, const MachineIdentity& me) {
    auto all = SyncMachines::list(db, me).value_or(std::vector<SyncMachine>{});
    std::erase_if(all, [](const SyncMachine& m) { return !m.self && m.replies == 0; });
    return all;
}

} // namespace vellumkite
