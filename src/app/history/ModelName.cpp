#include "ModelName.hpp"

#include <QStringList>

namespace vellumkite {

namespace {

bool allDigits(const QString& s) {
    if (s.isEmpty())
        return false;
    for (const QChar c : s)
        if (!c.isDigit())
            return false;
    return true;
}

} // namespace

QString ModelName::display(std::string_view id) {
    const QString whole = QString::fromUtf8(id.data(), static_cast<qsizetype>(id.size()));
    const QStringList parts = whole.split(QLatin1Char('-'));
    if (parts.size() < 3 || parts.front() != QLatin1String("claude"))
        return whole;
    QString family;
    QStringList version;
    for (qsizetype i = 1; i < parts.size(); ++i) {
        const QString& p = parts[i];
        if (p == QLatin1String("opus") || p == QLatin1String("sonnet") ||
            p == QLatin1String("haiku")) {
            if (!family.isEmpty())
                return whole;
            family = p.left(1).toUpper() + p.mid(1);
        } else if (allDigits(p) && p.size() <= 2) {
            version << p;
        } else if (!(allDigits(p) && p.size() == 8 && i + 1 == parts.size())) {
            // Anything but a trailing date is a part of the name we do not know how to say.
            return whole;
        }
    }
    if (family.isEmpty() || version.isEmpty())
        return whole;
    return family + QLatin1Char(' ') + version.join(QLatin1Char('.'));
}

} // namespace vellumkite
