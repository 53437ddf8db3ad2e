#include "PreferencesBackend.hpp"
#include "WritablePreferences.hpp"

#include <QSettings>

namespace vellumkite {

namespace {

// User defaults keep bools, numbers, texts and dictionaries as such, so QSettings' native format
// serves as it is. sync() before a read picks up what another process wrote.
class PreferencesDefaults final : public PreferencesBackend {
public:
    explicit PreferencesDefaults(const QString& path) : path_(path) {}

    QVariant value(const QString& key) const override {
        auto settings = open();
        settings->sync();
        return WritablePreferences::normalized(settings->value(key));
    }

    QVariantMap values() const override {
        auto settings = open();
        settings->sync();
        QVariantMap out;
        for (const QString& key : settings->allKeys())
            out.insert(key, WritablePreferences::normalized(settings->value(key)));
        return out;
    }

    bool change(const QString& key, const std::optional<QVariant>& value) override {
        auto settings = open();
        if (value)
            settings->setValue(key, *value);
        else
            settings->remove(key);
        settings->sync();
        return settings->status() == QSettings::NoError;
    }

private:
    // Without a path, the application's own defaults domain.
    std::unique_ptr<QSettings> open() const {
        if (path_.isEmpty())
            return std::make_unique<QSettings>(QStringLiteral("vellumkite.app"),
                                               QStringLiteral("Vellumkite"));
        return std::make_unique<QSettings>(path_, QSettings::NativeFormat);
    }

    QString path_;
};

} // namespace

std::unique_ptr<PreferencesBackend> PreferencesBackend::create(const QString& path) {
    return std::make_unique<PreferencesDefaults>(path);
}

QString PreferencesBackend::defaultPath() {
    return QString();
}

} // namespace vellumkite
