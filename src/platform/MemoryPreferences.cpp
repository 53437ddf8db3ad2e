#include "MemoryPreferences.hpp"

namespace vellumkite {

QVariant MemoryPreferences::value(const QString& key) const {
    std::lock_guard lock(mutex_);
    return values_.value(key);
}

bool MemoryPreferences::write(const QString& key, const std::optional<QVariant>& value) {
    std::lock_guard lock(mutex_);
    if (value)
        values_.insert(key, *value);
    else
        values_.remove(key);
    writes_.append({key, value.value_or(QVariant())});
    return true;
}

QList<QPair<QString, QVariant>> MemoryPreferences::writes() const {
    std::lock_guard lock(mutex_);
    return writes_;
}

} // namespace vellumkite
