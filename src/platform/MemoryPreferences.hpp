#pragma once

#include "WritablePreferences.hpp"

#include <mutex>
#include <QVariantMap>

namespace vellumkite {

// Preferences held in memory only, with the same value rules as the stored ones. For tests and
// for runs that must leave the user's file alone.
class MemoryPreferences : public WritablePreferences {
public:
    MemoryPreferences() = default;

    QVariant value(const QString& key) const override;
    bool setValue(const QString& key, const QVariant& value) override;
    bool remove(const QString& key) override;

    // Every call of setValue and remove so far, in order; a removal is recorded as invalid.
    QList<QPair<QString, QVariant>> writes() const;

private:
    mutable std::mutex mutex_;
    QVariantMap values_;
    QList<QPair<QString, QVariant>> writes_;
};

} // namespace vellumkite
