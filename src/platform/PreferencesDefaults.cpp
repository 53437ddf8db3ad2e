#include "AppBundle.hpp"
#include "PreferencesBackend.hpp"
#include "WritablePreferences.hpp"

#include <cmath>
#include <CoreFoundation/CoreFoundation.h>
#include <QSettings>
#include <utility>
#include <vector>

namespace vellumkite {

namespace {

// Owns one reference from a CoreFoundation Create or Copy call, and releases it.
template <typename T> class CfRef {
public:
    explicit CfRef(T ref = nullptr) : ref_(ref) {}
    ~CfRef() {
        if (ref_)
            CFRelease(ref_);
    }
    CfRef(CfRef&& other) noexcept : ref_(std::exchange(other.ref_, nullptr)) {}
    CfRef(const CfRef&) = delete;
    CfRef& operator=(const CfRef&) = delete;
    CfRef& operator=(CfRef&&) = delete;

    T get() const { return ref_; }
    // Hands the reference to the caller, who then owns it.
    T release() { return std::exchange(ref_, nullptr); }

private:
    T ref_;
};

// A stored value as Qt sees it; what we never store (dates, data) reads as invalid.
QVariant fromPropertyList(CFPropertyListRef value) {
    if (!value)
        return {};
    const CFTypeID type = CFGetTypeID(value);
    if (type == CFBooleanGetTypeID())
        return QVariant(CFBooleanGetValue(static_cast<CFBooleanRef>(value)) != 0);
    if (type == CFNumberGetTypeID()) {
        // Every number reads as a double; a lossy conversion still gives the nearest one.
        double d = 0;
        CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberDoubleType, &d);
        return std::isfinite(d) ? QVariant(d) : QVariant();
    }
    if (type == CFStringGetTypeID())
        return QString::fromCFString(static_cast<CFStringRef>(value));
    if (type == CFDictionaryGetTypeID()) {
        const auto dictionary = static_cast<CFDictionaryRef>(value);
        const CFIndex count = CFDictionaryGetCount(dictionary);
        std::vector<const void*> keys(static_cast<std::size_t>(count));
        std::vector<const void*> items(static_cast<std::size_t>(count));
        CFDictionaryGetKeysAndValues(dictionary, keys.data(), items.data());
        QVariantMap map;
        for (CFIndex i = 0; i < count; ++i) {
            if (CFGetTypeID(keys[i]) != CFStringGetTypeID())
                return {};
            map.insert(QString::fromCFString(static_cast<CFStringRef>(keys[i])),
                       fromPropertyList(items[i]));
        }
        return map;
    }
    if (type == CFArrayGetTypeID()) {
        const auto array = static_cast<CFArrayRef>(value);
        QVariantList list;
        for (CFIndex i = 0, count = CFArrayGetCount(array); i < count; ++i)
            list.append(fromPropertyList(CFArrayGetValueAtIndex(array, i)));
        return list;
    }
    return {};
}

// A value in stored form (see WritablePreferences::normalized) as a new property list, or
// nothing for any other value.
CfRef<CFPropertyListRef> toPropertyList(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::Bool:
        return CfRef<CFPropertyListRef>(
            CFRetain(value.toBool() ? kCFBooleanTrue : kCFBooleanFalse));
    case QMetaType::Double: {
        const double d = value.toDouble();
        return CfRef<CFPropertyListRef>(
            CFNumberCreate(kCFAllocatorDefault, kCFNumberDoubleType, &d));
    }
    case QMetaType::QString:
        return CfRef<CFPropertyListRef>(value.toString().toCFString());
    case QMetaType::QVariantMap: {
        CfRef<CFMutableDictionaryRef> dictionary(
            CFDictionaryCreateMutable(kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks,
                                      &kCFTypeDictionaryValueCallBacks));
        const QVariantMap map = value.toMap();
        for (auto it = map.begin(); it != map.end(); ++it) {
            const CfRef<CFStringRef> key(it.key().toCFString());
            const CfRef<CFPropertyListRef> item = toPropertyList(it.value());
            if (!dictionary.get() || !key.get() || !item.get())
                return CfRef<CFPropertyListRef>();
            CFDictionarySetValue(dictionary.get(), key.get(), item.get()); // retains both
        }
        return CfRef<CFPropertyListRef>(dictionary.release());
    }
    case QMetaType::QVariantList: {
        CfRef<CFMutableArrayRef> array(
            CFArrayCreateMutable(kCFAllocatorDefault, 0, &kCFTypeArrayCallBacks));
        for (const QVariant& element : value.toList()) {
            const CfRef<CFPropertyListRef> item = toPropertyList(element);
            if (!array.get() || !item.get())
                return CfRef<CFPropertyListRef>();
            CFArrayAppendValue(array.get(), item.get()); // retains it
        }
        return CfRef<CFPropertyListRef>(array.release());
    }
    default:
        return CfRef<CFPropertyListRef>();
    }
}

// The user defaults domain named by the bundle identifier, through CFPreferences. QSettings
// cannot name that domain (it makes one of its own from an organisation), and the plist file must
// not be touched directly: cfprefsd keeps the domain and would lose or overwrite such changes.
// Synchronizing before a read picks up what another process wrote.
class DefaultsDomain final : public PreferencesBackend {
public:
    DefaultsDomain() : domain_(AppBundle::identifier().toCFString()) {}

    QVariant value(const QString& key) const override {
        CFPreferencesAppSynchronize(domain_.get());
        return read(key);
    }

    QVariantMap values() const override {
        CFPreferencesAppSynchronize(domain_.get());
        const CfRef<CFArrayRef> keys(CFPreferencesCopyKeyList(
            domain_.get(), kCFPreferencesCurrentUser, kCFPreferencesAnyHost));
        QVariantMap out;
        if (!keys.get())
            return out;
        for (CFIndex i = 0, count = CFArrayGetCount(keys.get()); i < count; ++i) {
            const auto key = static_cast<CFStringRef>(CFArrayGetValueAtIndex(keys.get(), i));
            const QString name = QString::fromCFString(key);
            out.insert(name, read(name));
        }
        return out;
    }

    bool change(const QString& key, const std::optional<QVariant>& value) override {
        const CfRef<CFStringRef> name(key.toCFString());
        const CfRef<CFPropertyListRef> stored =
            value ? toPropertyList(*value) : CfRef<CFPropertyListRef>();
        if (!name.get() || (value && !stored.get()))
            return false;
        CFPreferencesSetAppValue(name.get(), stored.get(), domain_.get()); // none removes the key
        return CFPreferencesAppSynchronize(domain_.get());
    }

private:
    QVariant read(const QString& key) const {
        const CfRef<CFStringRef> name(key.toCFString());
        if (!name.get())
            return {};
        const CfRef<CFPropertyListRef> stored(CFPreferencesCopyAppValue(name.get(), domain_.get()));
        return WritablePreferences::normalized(fromPropertyList(stored.get()));
    }

    CfRef<CFStringRef> domain_;
};

// A property list file of the caller's choosing (the tests'), through QSettings; it keeps
// bools, numbers, texts and dictionaries as such. sync() before a read picks up what another
// process wrote.
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
    std::unique_ptr<QSettings> open() const {
        return std::make_unique<QSettings>(path_, QSettings::NativeFormat);
    }

    QString path_;
};

} // namespace

std::unique_ptr<PreferencesBackend> PreferencesBackend::create(const QString& path) {
    // Without a path, the user defaults domain of the app, shared with the terminal tool.
    if (path.isEmpty())
        return std::make_unique<DefaultsDomain>();
    return std::make_unique<PreferencesDefaults>(path);
}

QString PreferencesBackend::defaultPath() {
    return QString();
}

} // namespace vellumkite
