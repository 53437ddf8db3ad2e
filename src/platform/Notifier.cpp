#include "Notifier.hpp"

#include "NotificationCenter.hpp"
#include "WritablePreferences.hpp"

#include <algorithm>
#include <QVariantMap>

namespace vellumkite {

Notifier::Notifier(WritablePreferences& preferences, NotificationCenter* center, Clock clock)
    : preferences_(preferences), center_(center), clock_(std::move(clock)) {}

void Notifier::consider(const std::vector<Tip>& tips) {
    if (!center_)
        return;

    QVariantMap record = preferences_.get(PreferenceKeys::firedNotifications);
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
        // Kept a day from when it fired, or until the tip says, whichever is later.
        double firedAt = toUnixSeconds(clock_());
        if (tip.notifyUntil)
            firedAt = std::max(firedAt, toUnixSeconds(*tip.notifyUntil) - kMemorySeconds);
        record.insert(key, firedAt);
        if (!first)
            first = &tip;
    }

    if (first)
        center_->post(QString::fromStdString(*first->notifyKey),
                      QString::fromStdString(first->title), QString::fromStdString(first->text),
                      first->level == Tip::Level::alert);

    // Unsaved, a key may notify again after a restart; the notification itself is not held back.
    saveFailure_.record(preferences_.set(PreferenceKeys::firedNotifications, record));
}

} // namespace vellumkite
