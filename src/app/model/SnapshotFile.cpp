#include "SnapshotFile.hpp"

#include "AppModel.hpp"
#include "AtomicFile.hpp"
#include "SnapshotJson.hpp"

#include <cerrno>
#include <cstring>

namespace vellumkite {

SnapshotFile::SnapshotFile(AppModel& model, std::filesystem::path path, QObject* parent)
    : QObject(parent), model_(model), path_(std::move(path)) {
    connect(&model_, &AppModel::published, this, &SnapshotFile::write);
}

void SnapshotFile::write() {
    Snapshot s;
    s.limits = model_.limits();
    s.currentChat = model_.currentChat();
    s.topChats = model_.topChats();
    s.toolEaters = model_.toolEaters();
    s.todayWeight = model_.todayWeight();
    s.burnPerMin = model_.burnPerMin();
    s.sparkline = model_.sparkline();
    if (model_.tip())
        s.tips.push_back(*model_.tip());
    const bool written = AtomicFile::replace(path_, SnapshotJson::full(s) + "\n");
    // Said once per run of failures, not every 3 seconds.
    if (!written && !failing_)
        qWarning("Vellumkite: cannot write the snapshot file %s: %s", path_.c_str(),
                 std::strerror(errno));
    failing_ = !written;
}

} // namespace vellumkite
