#include "LoginItem.hpp"

#include "ProgramPath.hpp"
#include "UserFiles.hpp"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtGlobal>

#ifdef Q_OS_MACOS
#include "AppBundle.hpp"

#include <QSettings>
#endif

namespace vellumkite {

namespace {

// Far beyond any real entry; we do not load a bigger file to look at two keys.
constexpr qint64 kMaxEntrySize = 1024 * 1024;

bool hasControlCharacter(const QString& text) {
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return true;
    }
    return false;
}

#ifndef Q_OS_MACOS

// An argument with any of these must be quoted in Exec.
bool needsQuoting(const QString& argument) {
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    for (const QChar c : argument) {
        if (reserved.contains(c))
            return true;
    }
    return false;
}

// One Exec argument: quoted where needed, % doubled (it starts a field code), and then the
// backslashes of the quoting escaped once more, because string escapes are undone first.
QString execArgument(const QString& argument) {
    QString out;
    if (needsQuoting(argument)) {
        out += QLatin1Char('"');
        for (const QChar c : argument) {
            if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
                c == QLatin1Char('\\'))
                out += QLatin1Char('\\');
            out += c;
        }
        out += QLatin1Char('"');
    } else {
        out = argument;
    }
    out.replace(QLatin1Char('%'), QStringLiteral("%%"));
    out.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    return out;
}

bool desktopEntrySaysOn(const QByteArray& contents) {
    bool inMainGroup = false;
    bool on = true;
    for (const QByteArray& raw : contents.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        if (line.startsWith('[')) {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        const qsizetype eq = line.indexOf('=');
        if (!inMainGroup || eq < 0)
            continue;
        const QByteArray key = line.left(eq).trimmed();
        const QByteArray value = line.mid(eq + 1).trimmed();
        if (key == "Hidden" && (value == "true" || value == "1"))
            on = false;
        if (key == "X-GNOME-Autostart-enabled" && (value == "false" || value == "0"))
            on = false;
    }
    return on;
}

#else

QString xmlEscaped(const QString& text) {
    QString out = text.toHtmlEscaped();
    out.replace(QLatin1Char('\''), QStringLiteral("&apos;"));
    return out;
}

#endif

} // namespace

LoginItem::LoginItem(QString entryPath, QString executable)
    : entryPath_(std::move(entryPath)), executable_(std::move(executable)) {}

#ifndef Q_OS_MACOS

QString LoginItem::defaultEntryPath() {
    const QString config = UserFiles::configHome();
    return config.isEmpty() ? config : config + QStringLiteral("/autostart/vellumkite.desktop");
}

bool LoginItem::isEnabled() const {
    // Only a regular file is opened: a pipe in its place would block the read.
    QFile file(entryPath_);
    if (!QFileInfo(entryPath_).isFile() || !file.open(QIODevice::ReadOnly) ||
        file.size() > kMaxEntrySize)
        return false;
    return desktopEntrySaysOn(file.read(kMaxEntrySize));
}

#else

QString LoginItem::defaultEntryPath() {
    const QString home = UserFiles::home();
    return home.isEmpty() ? home
                          : home + QStringLiteral("/Library/LaunchAgents/") +
                                AppBundle::identifier() + QStringLiteral(".plist");
}

bool LoginItem::isEnabled() const {
    const QFileInfo info(entryPath_);
    if (!info.isFile() || info.size() > kMaxEntrySize)
        return false;
    QSettings agent(entryPath_, QSettings::NativeFormat);
    return agent.value(QStringLiteral("RunAtLoad")).toBool() &&
           !agent.value(QStringLiteral("Disabled")).toBool();
}

#endif

std::optional<QString> LoginItem::entryContents(const QString& executable) {
    if (executable.isEmpty() || !QDir::isAbsolutePath(executable) ||
        hasControlCharacter(executable))
        return std::nullopt;
#ifndef Q_OS_MACOS
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Vellumkite\n"
                          "Comment=Coaches you on your AI coding assistant's usage allowance\n"
                          "Exec=%1\n"
                          "X-GNOME-Autostart-enabled=true\n")
        .arg(execArgument(executable));
#else
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                          "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                          "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                          "<plist version=\"1.0\">\n"
                          "<dict>\n"
                          "\t<key>Label</key>\n"
                          "\t<string>%1</string>\n"
                          "\t<key>ProgramArguments</key>\n"
                          "\t<array>\n"
                          "\t\t<string>%2</string>\n"
                          "\t</array>\n"
                          "\t<key>RunAtLoad</key>\n"
                          "\t<true/>\n"
                          "</dict>\n"
                          "</plist>\n")
        .arg(AppBundle::identifier(), xmlEscaped(executable));
#endif
}

bool LoginItem::setEnabled(bool enabled, QString* error) {
    if (!enabled)
        return UserFiles::removeFile(entryPath_, error);
    const auto contents = entryContents(executable_);
    if (!contents) {
        QString shown = executable_;
        for (QChar& c : shown) {
            if (c.unicode() < 0x20 || c.unicode() == 0x7f)
                c = QLatin1Char('?');
        }
        if (error)
            *error = QStringLiteral("cannot start \"%1\" at login: not an absolute path without "
                                    "control characters")
                         .arg(shown);
        return false;
    }
    return UserFiles::makeFolder(QFileInfo(entryPath_).absolutePath(), error) &&
           UserFiles::replaceFile(entryPath_, contents->toUtf8(), error);
}

QString LoginItem::failureLine(const QString& description) {
    return QStringLiteral("Vellumkite: launch at login: ") + description;
}

void LoginItem::logFailure(const QString& description) {
    qWarning().noquote() << failureLine(description);
}

QString LoginItem::currentExecutable() {
    // Run from an AppImage, the executable lives in a mount that is gone after logout.
    const QString appImage = qEnvironmentVariable("APPIMAGE");
    if (!appImage.isEmpty() && QDir::isAbsolutePath(appImage) && QFileInfo(appImage).isFile())
        return appImage;
    if (QCoreApplication::instance())
        return QCoreApplication::applicationFilePath();
    return UserFiles::fromPath(ProgramPath::self());
}

} // namespace vellumkite
