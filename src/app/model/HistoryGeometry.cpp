#include "HistoryGeometry.hpp"

#include "PreferenceKeys.hpp"
#include "WritablePreferences.hpp"

#include <QStringList>

namespace vellumkite {

std::optional<QRect> HistoryGeometry::load(const WritablePreferences& preferences) {
    const QVariant stored = preferences.value(QLatin1String(PreferenceKeys::historyWindow.name));
    if (stored.typeId() != QMetaType::QString)
        return std::nullopt;
    const QStringList parts = stored.toString().split(QLatin1Char(','));
    if (parts.size() != 4)
        return std::nullopt;
    int v[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        v[i] = parts[i].trimmed().toInt(&ok);
        if (!ok)
            return std::nullopt;
    }
    if (v[2] <= 0 || v[3] <= 0)
        return std::nullopt;
    return QRect(v[0], v[1], v[2], v[3]);
}

bool HistoryGeometry::save(WritablePreferences& preferences, const QRect& g) {
    const QString text =
        QStringLiteral("%1, %2, %3, %4").arg(g.x()).arg(g.y()).arg(g.width()).arg(g.height());
    return preferences.setValue(QLatin1String(PreferenceKeys::historyWindow.name), text);
}

} // namespace vellumkite
