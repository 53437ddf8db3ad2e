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

    // Every value stored and key removed so far, in order; a removal is recorded as invalid.
    QList<QPair<QString, QVariant>> writes() const;

protected:
    bool write(const QString& key, const std::optional<QVariant>& value) override;

private:
    mutable std::mutex mutex_;
    QVariantMap values_;
    QList<QPair<QString, QVariant>> writes_;
};

} // namespace vellumkite
