#include "UserFiles.hpp"

#include "AtomicFile.hpp"
#include "QtText.hpp"
#include "UserFolders.hpp"

#include <cerrno>
#include <cstring>
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

// Our files' paths are empty only when no home folder is known to put them in.
bool unknownHome(QString* error) {
    if (error)
        *error = QStringLiteral("no place for the file: the home folder is unknown");
    return false;
}

std::filesystem::path native(const QString& path) {
    return std::filesystem::path(stdString(QFile::encodeName(QFileInfo(path).absoluteFilePath())));
}

} // namespace

QString UserFiles::fromPath(const std::filesystem::path& path) {
    return QFile::decodeName(byteArray(path.native()));
}

QString UserFiles::home() {
    return fromPath(UserFolders::home());
}

QString UserFiles::configHome() {
    return fromPath(UserFolders::configHome());
}

bool UserFiles::makeFolder(const QString& folder, QString* error) {
    if (folder.isEmpty())
        return unknownHome(error);
    return AtomicFile::makeFolders(native(folder)) || fail(error, "create", folder);
}

bool UserFiles::replaceFile(const QString& path, const QByteArray& contents, QString* error) {
    if (path.isEmpty())
        return unknownHome(error);
    const std::string_view bytes(contents.constData(), static_cast<std::size_t>(contents.size()));
    return AtomicFile::replace(native(path), bytes) || fail(error, "write", path);
}

bool UserFiles::removeFile(const QString& path, QString* error) {
    if (::unlink(QFile::encodeName(path).constData()) == 0 || errno == ENOENT)
        return true;
    return fail(error, "remove", path);
}

} // namespace vellumkite
