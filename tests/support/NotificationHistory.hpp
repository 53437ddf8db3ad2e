#pragma once

// Reading the history a notification server (dunst, through `dunstctl history`) wrote to a file.
#include <cstdio>
#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QStringList>

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

// The main of an end-to-end program that notify-end-to-end.sh runs twice: "post" posts through
// the real server, then "check HISTORY.json" expects the server to have kept exactly one
// notification with this title and body (a later post with the same key replaced the first).
inline int endToEndMain(int argc, char** argv, int (*post)(), const QString& title,
                        const QString& body) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() == 2 && args[1] == QLatin1String("post"))
        return post();
    if (args.size() == 3 && args[1] == QLatin1String("check")) {
        const int matching = countInHistory(args[2], title, body);
        if (matching != 1)
            std::fprintf(stderr,
                         "expected the one replaced notification in the history, found %d\n",
                         matching);
        return matching == 1 ? 0 : 1;
    }
    std::fprintf(stderr, "usage: %s post | check HISTORY.json\n", argv[0]);
    return 2;
}

} // namespace vellumkite::testing
