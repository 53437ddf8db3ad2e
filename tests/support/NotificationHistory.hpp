#pragma once

// Reading the history a notification server (dunst, through `dunstctl history`) wrote to a file.
#include <cstdio>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

namespace vellumkite::testing {

// How many notifications from "Vellumkite" with this summary and body the history holds; every
// entry is printed on the way, to tell a failure apart. -1 when the file cannot be read.
inline int countInHistory(const QString& historyFile, const QString& summary, const QString& body) {
    QFile file(historyFile);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const auto field = [](const QJsonObject& entry, const char* name) {
        return entry.value(QLatin1String(name)).toObject().value(QStringLiteral("data")).toString();
    };
    const QJsonArray groups =
        QJsonDocument::fromJson(file.readAll()).object().value(QStringLiteral("data")).toArray();
    int matching = 0;
    for (const QJsonValue& group : groups) {
        for (const QJsonValue& value : group.toArray()) {
            const QJsonObject entry = value.toObject();
            std::printf("history: %s | %s | %s\n", qPrintable(field(entry, "appname")),
                        qPrintable(field(entry, "summary")), qPrintable(field(entry, "body")));
            if (field(entry, "appname") == QLatin1String("Vellumkite") &&
                field(entry, "summary") == summary && field(entry, "body") == body)
                ++matching;
        }
    }
    return matching;
}

} // namespace vellumkite::testing
