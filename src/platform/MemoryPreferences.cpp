#include "MemoryPreferences.hpp"

namespace vellumkite {

QVariant MemoryPreferences::value(const QString& key) const {
    std::lock_guard lock(mutex_);
    return values_.value(key);
}

bool MemoryPreferences::setValue(const QString& key, const QVariant& value) {
    if (!value.isValid())
        return remove(key);
    const QVariant stored = normalized(value);
    if (!stored.isValid())
        return false;
    std::lock_guard lock(mutex_);
    values_.insert(key, stored);
    writes_.append({key, stored});
    return true;
}

bool MemoryPreferences::remove(const QString& key) {
    std::lock_guard lock(mutex_);
    values_.remove(key);
    writes_.append({key, QVariant()});
    return true;
}

QList<QPair<QString, QVariant>> MemoryPreferences::writes() const {
    std::lock_guard lock(mutex_);
    return writes_;
}

} // namespace vellumkite
