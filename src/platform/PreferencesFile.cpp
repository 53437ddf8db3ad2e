#include "PreferencesBackend.hpp"
#include "UserFiles.hpp"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vellumkite {

namespace {

// Far beyond any real preferences; a bigger file is treated as unreadable rather than loaded.
constexpr qint64 kMaxFileSize = 4 * 1024 * 1024;

// Tells whether the file changed since it was read. Our writes replace the file with a new one,
// so the inode alone changes with each; size and times catch editors that write in place, except
// for a write of the same size within the same tick of the file system's clock; see settled().
struct Signature {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    long long mtimeSec = 0, mtimeNsec = 0, ctimeSec = 0, ctimeNsec = 0;

    static Signature of(const struct stat& st) {
        Signature s;
        s.exists = true;
        s.device = st.st_dev;
        s.inode = st.st_ino;
        s.size = st.st_size;
        s.mtimeSec = st.st_mtim.tv_sec;
        s.mtimeNsec = st.st_mtim.tv_nsec;
        s.ctimeSec = st.st_ctim.tv_sec;
        s.ctimeNsec = st.st_ctim.tv_nsec;
        return s;
    }
    double changedAt() const {
        return std::max(static_cast<double>(mtimeSec) + static_cast<double>(mtimeNsec) / 1e9,
                        static_cast<double>(ctimeSec) + static_cast<double>(ctimeNsec) / 1e9);
    }
    bool operator==(const Signature&) const = default;
};

double wallClockSeconds() {
    struct timespec ts {};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

Signature currentSignature(const QByteArray& path) {
    struct stat st {};
    if (::stat(path.constData(), &st) != 0)
        return {};
    return Signature::of(st);
}

// What a read found: no file, a usable object, or a file we could not make sense of.
struct FileRead {
    enum class State { missing, ok, bad } state = State::missing;
    QJsonObject object;
    Signature signature;
    double readAt = 0; // wall-clock seconds when the read began

    // A read that began well after the file's last change saw every write with that time stamp;
    // one that did not may have missed a later write in the same tick, so it is not trusted.
    bool settled() const { return !signature.exists || readAt - signature.changedAt() > 1.0; }
};

bool readAll(int fd, QByteArray& out) {
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0)
            return true;
        out.append(buffer, n);
        if (out.size() > kMaxFileSize)
            return false;
    }
}

FileRead readFile(const QByteArray& path) {
    FileRead snap;
    snap.readAt = wallClockSeconds();
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno != ENOENT && errno != ENOTDIR) {
            snap.state = FileRead::State::bad;
            snap.signature = currentSignature(path);
        }
        return snap;
    }
    struct stat st {};
    QByteArray data;
    bool readable = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= kMaxFileSize;
    if (readable)
        snap.signature = Signature::of(st);
    readable = readable && readAll(fd, data);
    ::close(fd);
    snap.state = FileRead::State::bad;
    if (!readable)
        return snap;
    if (data.trimmed().isEmpty()) {
        snap.state = FileRead::State::ok;
        return snap;
    }
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return snap;
    snap.state = FileRead::State::ok;
    snap.object = doc.object();
    return snap;
}

QVariant fromJson(const QJsonValue& json) {
    switch (json.type()) {
    case QJsonValue::Bool:
        return json.toBool();
    case QJsonValue::Double:
        return json.toDouble();
    case QJsonValue::String:
        return json.toString();
    case QJsonValue::Object: {
        QVariantMap map;
        const QJsonObject object = json.toObject();
        for (auto it = object.begin(); it != object.end(); ++it)
            map.insert(it.key(), fromJson(it.value()));
        return map;
    }
    case QJsonValue::Array: {
        QVariantList list;
        for (const QJsonValue& element : json.toArray())
            list.append(fromJson(element));
        return list;
    }
    case QJsonValue::Null:
        // Present, but nothing any reader can use.
        return QVariant::fromValue(nullptr);
    case QJsonValue::Undefined:
        break;
    }
    return {};
}

// An advisory lock on the folder, so that two processes changing different keys at the same time
// both keep their change. A holder that does not let go within a while is not waited for: a lost
// update is better than a frozen program.
class FolderLock {
public:
    explicit FolderLock(const QByteArray& folder)
        : fd_(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        if (fd_ < 0)
            return;
        for (int attempt = 0; attempt < 200; ++attempt) {
            if (::flock(fd_, LOCK_EX | LOCK_NB) == 0)
                return;
            if (errno != EWOULDBLOCK && errno != EINTR)
                return;
            QThread::msleep(10);
        }
    }
    ~FolderLock() {
        if (fd_ >= 0)
            ::close(fd_); // releases the lock
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int fd_;
};

// Keeps a file we could not read under a new name beside it before it is replaced.
bool preserve(const QString& path) {
    const QByteArray from = QFile::encodeName(path);
    const QString base = path + QStringLiteral(".bad-") +
                         QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    for (int n = 1; n < 100; ++n) {
        const QString name = n == 1 ? base : base + QLatin1Char('-') + QString::number(n);
        const QByteArray to = QFile::encodeName(name);
        if (::link(from.constData(), to.constData()) == 0)
            return true;
        if (errno == EEXIST)
            continue;
        // Where hard links are not possible, move it aside instead, never over another file.
        struct stat st {};
        if (::lstat(to.constData(), &st) != 0 && errno == ENOENT &&
            ::rename(from.constData(), to.constData()) == 0)
            return true;
        return false;
    }
    return false;
}

// The preferences as a JSON object in one file; see PreferencesStore for the rules.
class PreferencesFile final : public PreferencesBackend {
public:
    explicit PreferencesFile(const QString& path);

    QVariant value(const QString& key) const override;
    QVariantMap values() const override;
    bool change(const QString& key, const std::optional<QVariant>& value) override;

private:
    // Brings the cached object up to date with the file.
    const QJsonObject& current() const;

    QString path_;
    QByteArray nativePath_;
    mutable bool loaded_ = false;
    mutable FileRead cache_;
};

PreferencesFile::PreferencesFile(const QString& path)
    : path_(path), nativePath_(QFile::encodeName(path)) {}

QVariant PreferencesFile::value(const QString& key) const {
    return fromJson(current().value(key));
}

QVariantMap PreferencesFile::values() const {
    return fromJson(current()).toMap();
}

const QJsonObject& PreferencesFile::current() const {
    const Signature now = currentSignature(nativePath_);
    if (!loaded_ || now != cache_.signature || !cache_.settled()) {
        cache_ = readFile(nativePath_);
        loaded_ = true;
    }
    return cache_.object;
}

bool PreferencesFile::change(const QString& key, const std::optional<QVariant>& value) {
    if (path_.isEmpty())
        return false;
    const QString folder = QFileInfo(path_).absolutePath();
    if (!UserFiles::makeFolder(folder))
        return false;
    FolderLock folderLock(QFile::encodeName(folder));

    // Through a symbolic link (a dotfile manager's, say), change the file it points to.
    QString target = path_;
    struct stat st {};
    if (::lstat(nativePath_.constData(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char resolved[PATH_MAX];
        if (!::realpath(nativePath_.constData(), resolved))
            return false;
        target = QFile::decodeName(resolved);
    }

    const FileRead before = readFile(QFile::encodeName(target));
    QJsonObject object = before.state == FileRead::State::ok ? before.object : QJsonObject();
    if (value)
        object.insert(key, QJsonValue::fromVariant(*value));
    else
        object.remove(key);

    const bool unchanged = (before.state == FileRead::State::ok && object == before.object) ||
                           (before.state == FileRead::State::missing && object.isEmpty());
    if (unchanged) {
        cache_ = before;
        loaded_ = true;
        return true;
    }
    if (before.state == FileRead::State::bad && !preserve(target))
        return false;
    if (!UserFiles::replaceFile(target, QJsonDocument(object).toJson(QJsonDocument::Indented)))
        return false;
    cache_.state = FileRead::State::ok;
    cache_.object = object;
    cache_.signature = currentSignature(nativePath_);
    cache_.readAt = wallClockSeconds();
    loaded_ = true;
    return true;
}

} // namespace

std::unique_ptr<PreferencesBackend> PreferencesBackend::create(const QString& path) {
    return std::make_unique<PreferencesFile>(path);
}

QString PreferencesBackend::defaultPath() {
    const QString config = UserFiles::configHome();
    return config.isEmpty() ? config : config + QStringLiteral("/Vellumkite/preferences.json");
}

} // namespace vellumkite
