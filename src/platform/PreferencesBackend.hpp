#pragma once

#include <memory>
#include <optional>
#include <QString>
#include <QVariant>
#include <QVariantMap>

namespace vellumkite {

// Where PreferencesStore keeps its values: a JSON file on Linux (PreferencesFile.cpp), the user
// defaults on macOS (PreferencesDefaults.cpp). Each platform builds one of the two. Calls come
// one at a time; PreferencesStore takes care of threads and of the values' types.
class PreferencesBackend {
public:
    virtual ~PreferencesBackend() = default;

    virtual QVariant value(const QString& key) const = 0;
    virtual QVariantMap values() const = 0;
    // Stores a value already in stored form, or without one removes the key.
    virtual bool change(const QString& key, const std::optional<QVariant>& value) = 0;

    // The platform's backend for a path (PreferencesStore::defaultPath() gives the user's).
    static std::unique_ptr<PreferencesBackend> create(const QString& path);
    static QString defaultPath();
};

} // namespace vellumkite
