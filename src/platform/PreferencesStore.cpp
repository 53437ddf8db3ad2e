#include "PreferencesStore.hpp"

#include "PreferencesBackend.hpp"

#include <QFileInfo>

namespace vellumkite {

PreferencesStore::PreferencesStore(QString path)
    // Without a path the platform's default place is used: on Linux, where no home folder is
    // known, that means nothing is read and every write fails.
    : path_(path.isEmpty() ? path : QFileInfo(path).absoluteFilePath()),
      backend_(PreferencesBackend::create(path_)) {}

PreferencesStore::~PreferencesStore() = default;

QString PreferencesStore::defaultPath() {
    return PreferencesBackend::defaultPath();
}

QString PreferencesStore::path() const {
    return path_;
}

QVariant PreferencesStore::value(const QString& key) const {
    std::lock_guard lock(mutex_);
    return backend_->value(key);
}

QVariantMap PreferencesStore::values() const {
    std::lock_guard lock(mutex_);
    return backend_->values();
}

bool PreferencesStore::write(const QString& key, const std::optional<QVariant>& value) {
    std::lock_guard lock(mutex_);
    return backend_->change(key, value);
}

} // namespace vellumkite
