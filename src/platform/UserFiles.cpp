#include "UserFiles.hpp"

#include "AtomicFile.hpp"

#include <cerrno>
#include <cstring>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <unistd.h>

namespace vellumkite {

namespace {

// Reads errno at once, before anything else can change it.
bool fail(QString* error, const char* action, const QString& path) {
    const int number = errno;
    if (error)
        *error =
            QStringLiteral("cannot %1 %2: %3")
                .arg(QLatin1String(action), path, QString::fromLocal8Bit(std::strerror(number)));
    return false;
}

std::filesystem::path native(const QString& path) {
    return std::filesystem::path(
        QFile::encodeName(QFileInfo(path).absoluteFilePath()).toStdString());
}

} // namespace

QString UserFiles::configHome() {
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg))
        return QDir::cleanPath(xdg);
    return QDir::homePath() + QStringLiteral("/.config");
}

bool UserFiles::makeFolder(const QString& folder, QString* error) {
    return AtomicFile::makeFolders(native(folder)) || fail(error, "create", folder);
}

bool UserFiles::replaceFile(const QString& path, const QByteArray& contents, QString* error) {
    return AtomicFile::replace(
               native(path),
               std::string_view(contents.constData(), static_cast<std::size_t>(contents.size()))) ||
           fail(error, "write", path);
}

bool UserFiles::removeFile(const QString& path, QString* error) {
    if (::unlink(QFile::encodeName(path).constData()) == 0 || errno == ENOENT)
        return true;
    return fail(error, "remove", path);
}

} // namespace vellumkite
