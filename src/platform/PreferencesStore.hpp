#pragma once

#include "WritablePreferences.hpp"

#include <memory>
#include <mutex>

namespace vellumkite {

class PreferencesBackend;

// The user's preferences file, shared by the app and the terminal tool.
//
// On Linux it is a JSON object in $XDG_CONFIG_HOME/Vellumkite/preferences.json, which keeps the
// type of every value across runs. Every read checks whether the file changed on disk, so a value
// another process wrote shows at once. Every write re-reads the file under an advisory lock on its
// folder, changes the one key and replaces the file atomically (folder 0700, file 0600). A file
// that cannot be parsed reads as empty; before our first write replaces it, it is kept beside as
// preferences.json.bad-<date>-<time>, so nothing the user had is destroyed. A write that would not
// change the file is skipped.
//
// On macOS the native user defaults are used, which keep types themselves: the domain named by the
// bundle identifier (AppBundle), the same for the app and the terminal tool. (The two backends
// are in PreferencesFile.cpp and PreferencesDefaults.cpp.)
//
// Thread-safe: the app reads thresholds from its worker thread while the main thread writes.
class PreferencesStore : public WritablePreferences {
public:
    explicit PreferencesStore(QString path = defaultPath());
    ~PreferencesStore() override;
    PreferencesStore(const PreferencesStore&) = delete;
    PreferencesStore& operator=(const PreferencesStore&) = delete;

    QVariant value(const QString& key) const override;

    // Every key and value, as read now.
    QVariantMap values() const;

    QString path() const;

    // $XDG_CONFIG_HOME/Vellumkite/preferences.json (~/.config when the variable is unset or not
    // absolute); on macOS none, which stands for the bundle identifier's defaults domain.
    static QString defaultPath();

protected:
    bool write(const QString& key, const std::optional<QVariant>& value) override;

private:
    QString path_;
    mutable std::mutex mutex_;
    std::unique_ptr<PreferencesBackend> backend_;
};

} // namespace vellumkite
