#include "WritablePreferences.hpp"

#include "QtText.hpp"

#include <cmath>
#include <QVariantList>
#include <QVariantMap>

namespace vellumkite {

namespace {

bool isNumber(int type) {
    switch (type) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Double:
    case QMetaType::Float:
        return true;
    default:
        return false;
    }
}

} // namespace

QVariant WritablePreferences::normalized(const QVariant& value) {
    const int type = value.typeId();
    if (type == QMetaType::Bool)
        return QVariant(value.toBool());
    if (isNumber(type)) {
        const double d = value.toDouble();
        return std::isfinite(d) ? QVariant(d) : QVariant();
    }
    if (type == QMetaType::QString)
        return value;
    if (type == QMetaType::QVariantMap || type == QMetaType::QVariantHash) {
        QVariantMap out;
        const QVariantMap in = value.toMap();
        for (auto it = in.begin(); it != in.end(); ++it) {
            QVariant item = normalized(it.value());
            if (!item.isValid())
                return {};
            out.insert(it.key(), item);
        }
        return out;
    }
    if (type == QMetaType::QVariantList || type == QMetaType::QStringList) {
        QVariantList out;
        const QVariantList in = value.toList();
        for (const QVariant& element : in) {
            QVariant item = normalized(element);
            if (!item.isValid())
                return {};
            out.append(item);
        }
        return out;
    }
    return {};
}

PrefValue WritablePreferences::toPrefValue(const QVariant& value) {
    if (!value.isValid())
        return {};
    const int type = value.typeId();
    if (type == QMetaType::Bool)
        return {value.toBool()};
    if (isNumber(type))
        return {value.toDouble()};
    if (type == QMetaType::QString)
        return {utf8(value.toString())};
    return {PrefValue::Other{}};
}

bool WritablePreferences::setValue(const QString& key, const QVariant& value) {
    if (!value.isValid())
        return remove(key);
    const QVariant stored = normalized(value);
    return stored.isValid() && write(key, stored);
}

bool WritablePreferences::remove(const QString& key) {
    return write(key, std::nullopt);
}

bool WritablePreferences::get(PreferenceKeys::Flag key) const {
    const QVariant stored = value(QString::fromLatin1(key.name));
    return stored.typeId() == QMetaType::Bool ? stored.toBool() : key.fallback;
}

QString WritablePreferences::get(PreferenceKeys::Text key) const {
    const QVariant stored = value(QString::fromLatin1(key.name));
    return stored.typeId() == QMetaType::QString ? stored.toString()
                                                 : QString::fromLatin1(key.fallback);
}

QVariantMap WritablePreferences::get(PreferenceKeys::Times key) const {
    const QVariant stored = value(QString::fromLatin1(key.name));
    if (stored.typeId() != QMetaType::QVariantMap)
        return {};
    const QVariantMap times = stored.toMap();
    for (auto it = times.begin(); it != times.end(); ++it) {
        if (it.value().typeId() != QMetaType::Double)
            return {};
    }
    return times;
}

bool WritablePreferences::set(PreferenceKeys::Flag key, bool value) {
    return setValue(QString::fromLatin1(key.name), value);
}

bool WritablePreferences::set(PreferenceKeys::Text key, const QString& value) {
    return setValue(QString::fromLatin1(key.name), value);
}

bool WritablePreferences::set(PreferenceKeys::Times key, const QVariantMap& value) {
    return setValue(QString::fromLatin1(key.name), value);
}

PrefValue WritablePreferences::lookup(std::string_view key) const {
    return toPrefValue(value(QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size()))));
}

} // namespace vellumkite
