#include "Notifier.hpp"

#include "NotificationCenter.hpp"
#include "WritablePreferences.hpp"

#include <QVariantMap>

namespace vellumkite {

namespace {

// The stored record, or an empty one when it is missing or anything in it is not a number.
QVariantMap firedRecord(const WritablePreferences& preferences) {
    const QVariant stored = preferences.value(QString::fromLatin1(Notifier::kFiredKey));
    if (stored.typeId() != QMetaType::QVariantMap)
        return {};
    const QVariantMap record = stored.toMap();
    for (auto it = record.begin(); it != record.end(); ++it) {
        if (it.value().typeId() != QMetaType::Double)
            return {};
    }
    return record;
}

} // namespace

Notifier::Notifier(WritablePreferences& preferences, NotificationCenter* center, Clock clock)
    : preferences_(preferences), center_(center), clock_(std::move(clock)) {}

void Notifier::consider(const std::vector<Tip>& tips) {
    if (!center_)
        return;

    QVariantMap record = firedRecord(preferences_);
    const double cutoff = toUnixSeconds(clock_()) - kMemorySeconds;
    for (auto it = record.begin(); it != record.end();) {
        if (it.value().toDouble() > cutoff)
            ++it;
        else
            it = record.erase(it);
    }

    const Tip* first = nullptr;
    for (const Tip& tip : tips) {
        if (!tip.notifyKey)
            continue;
        // Keys are compared as stored, so a key survives the trip through the file unchanged.
        const QString key = QString::fromStdString(*tip.notifyKey);
        if (record.contains(key))
            continue;
        record.insert(key, toUnixSeconds(clock_()));
        if (!first)
            first = &tip;
    }

    if (first)
        center_->post(QString::fromStdString(*first->notifyKey),
                      QString::fromStdString(first->title), QString::fromStdString(first->text),
                      first->level == Tip::Level::alert);

    preferences_.setValue(QString::fromLatin1(kFiredKey), record);
}

} // namespace vellumkite
