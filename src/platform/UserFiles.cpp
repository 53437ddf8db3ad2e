#include "UserFiles.hpp"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <sys/stat.h>
#include <unistd.h>

namespace vellumkite {

namespace {

QString describe(const char* action, const QString& path, int error) {
    return QStringLiteral("cannot %1 %2: %3")
        .arg(QLatin1String(action), path, QString::fromLocal8Bit(std::strerror(error)));
}

bool writeAll(int fd, const QByteArray& data) {
    const char* p = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}

} // namespace

QString UserFiles::configHome() {
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg))
        return QDir::cleanPath(xdg);
    return QDir::homePath() + QStringLiteral("/.config");
}

std::optional<QString> UserFiles::makeFolder(const QString& folder) {
    const QString clean = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    QString prefix;
    const QStringList parts = clean.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        prefix += QLatin1Char('/') + part;
        const QByteArray native = QFile::encodeName(prefix);
        if (::mkdir(native.constData(), 0700) == 0) {
            // The umask can only have taken bits away; make sure the owner can use it.
            ::chmod(native.constData(), 0700);
            continue;
        }
        const int error = errno;
        struct stat st {};
        if (error == EEXIST && ::stat(native.constData(), &st) == 0 && S_ISDIR(st.st_mode))
            continue;
        return describe("create", prefix, error == EEXIST ? ENOTDIR : error);
    }
    return std::nullopt;
}

std::optional<QString> UserFiles::replaceFile(const QString& path, const QByteArray& contents) {
    const QFileInfo info(path);
    QByteArray temp =
        QFile::encodeName(info.absolutePath() + QStringLiteral("/.") + info.fileName()) + ".XXXXXX";
    // mkstemp makes the file 0600 before anything is written to it.
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return describe("create a file in", info.absolutePath(), errno);
    const auto fail = [&](const char* action) {
        const int error = errno;
        ::close(fd);
        ::unlink(temp.constData());
        return describe(action, QFile::decodeName(temp), error);
    };
    if (::fchmod(fd, 0600) != 0)
        return fail("set permissions of");
    if (!writeAll(fd, contents) || ::fsync(fd) != 0)
        return fail("write");
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temp.constData());
        return describe("write", QFile::decodeName(temp), error);
    }
    if (::rename(temp.constData(), QFile::encodeName(path).constData()) != 0) {
        const int error = errno;
        ::unlink(temp.constData());
        return describe("replace", path, error);
    }
    // Make the rename itself durable; failing here loses nothing, so it is not reported.
    const int dir = ::open(QFile::encodeName(info.absolutePath()).constData(),
                           O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return std::nullopt;
}

std::optional<QString> UserFiles::removeFile(const QString& path) {
    if (::unlink(QFile::encodeName(path).constData()) != 0) {
        const int error = errno;
        if (error != ENOENT)
            return describe("remove", path, error);
    }
    return std::nullopt;
}

} // namespace vellumkite
