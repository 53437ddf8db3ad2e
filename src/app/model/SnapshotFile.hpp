#pragma once

#include <filesystem>
#include <QObject>

namespace vellumkite {

class AppModel;

// After every publish, writes the model's figures as `vellumkite-cli json` prints them (with the
// one tip the model keeps) to a file, replaced atomically. For scripts and the soak test; only
// on when VELLUMKITE_SNAPSHOT_FILE names the file.
class SnapshotFile : public QObject {
    Q_OBJECT

public:
    SnapshotFile(AppModel& model, std::filesystem::path path, QObject* parent = nullptr);

private:
    void write();

    AppModel& model_;
    std::filesystem::path path_;
    bool failing_ = false;
};

} // namespace vellumkite
