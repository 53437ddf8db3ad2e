#pragma once

#include "PreferenceKeys.hpp"
#include "Preferences.hpp"

#include <optional>
#include <QString>
#include <QVariant>
#include <QVariantMap>

namespace vellumkite {

// Typed user preferences that can be changed. A value is one of: bool, number (always read back as
// a double), text (QString), dictionary (QVariantMap) or list (QVariantList) of such values. An
// absent key reads as an invalid QVariant.
class WritablePreferences : public Preferences {
public:
    virtual QVariant value(const QString& key) const = 0;
    // False when the value is not of a storable type or could not be saved; nothing changes then.
    // Storing an invalid QVariant removes the key.
    [[nodiscard]] bool setValue(const QString& key, const QVariant& value);
    [[nodiscard]] bool remove(const QString& key);

    PrefValue lookup(std::string_view key) const override;

    // The registered preferences, typed: a stored value of another type reads as the fallback.
    bool get(PreferenceKeys::Flag key) const;
    QString get(PreferenceKeys::Text key) const;
    QVariantMap get(PreferenceKeys::Times key) const;
    [[nodiscard]] bool set(PreferenceKeys::Flag key, bool value);
    [[nodiscard]] bool set(PreferenceKeys::Text key, const QString& value);
    [[nodiscard]] bool set(PreferenceKeys::Times key, const QVariantMap& value);

    // The value as the core sees it: bool, number and text as themselves, anything else "other".
    static PrefValue toPrefValue(const QVariant& value);
    // The value in stored form (numbers as double, text lists as lists), or an invalid QVariant
    // when it holds something that cannot be stored (a date, bytes, a non-finite number).
    static QVariant normalized(const QVariant& value);

protected:
    // Stores a value already in stored form, or without one removes the key.
    virtual bool write(const QString& key, const std::optional<QVariant>& value) = 0;
};

} // namespace vellumkite
