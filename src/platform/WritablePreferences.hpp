#pragma once

#include "Preferences.hpp"

#include <QString>
#include <QVariant>

namespace vellumkite {

// Typed user preferences that can be changed. A value is one of: bool, number (always read back as
// a double), text (QString), dictionary (QVariantMap) or list (QVariantList) of such values. An
// absent key reads as an invalid QVariant.
class WritablePreferences : public Preferences {
public:
    virtual QVariant value(const QString& key) const = 0;
    // False when the value is not of a storable type or could not be saved; nothing changes then.
    // Storing an invalid QVariant removes the key.
    virtual bool setValue(const QString& key, const QVariant& value) = 0;
    virtual bool remove(const QString& key) = 0;

    PrefValue lookup(std::string_view key) const override;

    // The value as the core sees it: bool, number and text as themselves, anything else "other".
    static PrefValue toPrefValue(const QVariant& value);
    // The value in stored form (numbers as double, text lists as lists), or an invalid QVariant
    // when it holds something that cannot be stored (a date, bytes, a non-finite number).
    static QVariant normalized(const QVariant& value);
};

} // namespace vellumkite
