#include "DBusNotificationCenter.hpp"

#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace vellumkite {

namespace {

// Identifiers carry session ids and reset times, so there is no end to them over a long run; the
// oldest are forgotten (a late repeat then shows as a new notification, nothing worse).
constexpr qsizetype kMaxRemembered = 256;

// The bus answers a standard question, waiting at most timeoutMs; nothing on any failure.
std::optional<QVariant> askBus(const QDBusConnection& bus, const QString& method,
                               const QVariantList& arguments, int timeoutMs) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), method);
    call.setArguments(arguments);
    const QDBusMessage reply = bus.call(call, QDBus::Block, timeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return std::nullopt;
    return reply.arguments().constFirst();
}

} // namespace

std::unique_ptr<DBusNotificationCenter> DBusNotificationCenter::create(const QDBusConnection& bus,
                                                                       int timeoutMs) {
    if (!bus.isConnected())
        return nullptr;
    const QString service = QString::fromLatin1(kService);
    const auto running =
        askBus(bus, QStringLiteral("NameHasOwner"), {QVariant(service)}, timeoutMs);
    bool available = running && running->toBool();
    if (!available) {
        const auto activatable = askBus(bus, QStringLiteral("ListActivatableNames"), {}, timeoutMs);
        available = activatable && activatable->toStringList().contains(service);
    }
    if (!available)
        return nullptr;
    return std::unique_ptr<DBusNotificationCenter>(new DBusNotificationCenter(bus));
}

DBusNotificationCenter::DBusNotificationCenter(const QDBusConnection& bus) : bus_(bus) {
    askCapabilities();
}

void DBusNotificationCenter::askCapabilities() {
    const QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(kService), QString::fromLatin1(kPath), QString::fromLatin1(kInterface),
        QStringLiteral("GetCapabilities"));
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        const QDBusPendingReply<QStringList> reply = *w;
        // Without an answer, plain text is the safe assumption.
        bodyMarkup_ = !reply.isError() && reply.value().contains(QStringLiteral("body-markup"));
        capabilitiesKnown_ = true;
        const QList<Post> waiting = std::exchange(waiting_, {});
        for (const Post& post : waiting)
            send(post);
        w->deleteLater();
    });
}

void DBusNotificationCenter::post(const QString& identifier, const QString& title,
                                  const QString& body, bool sound) {
    Post post{identifier, title, body, sound};
    if (capabilitiesKnown_)
        send(post);
    else
        waiting_.append(std::move(post));
}

void DBusNotificationCenter::send(const Post& post) {
    const QDBusMessage call =
        notifyMessage(serverIds_.value(post.identifier, 0), post.title,
                      bodyMarkup_ ? escapedForMarkup(post.body) : post.body, post.sound);
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    const QString identifier = post.identifier;
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, identifier](QDBusPendingCallWatcher* w) {
                const QDBusPendingReply<uint> reply = *w;
                if (reply.isError()) {
                    emit postFailed(identifier, reply.error().message());
                } else {
                    remember(identifier, reply.value());
                    emit posted(identifier, reply.value());
                }
                w->deleteLater();
            });
}

void DBusNotificationCenter::remember(const QString& identifier, uint serverId) {
    if (!serverIds_.contains(identifier)) {
        rememberedOrder_.append(identifier);
        if (rememberedOrder_.size() > kMaxRemembered)
            serverIds_.remove(rememberedOrder_.takeFirst());
    }
    serverIds_.insert(identifier, serverId);
}

QDBusMessage DBusNotificationCenter::notifyMessage(uint replacesId, const QString& title,
                                                   const QString& body, bool sound) {
    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue<uchar>(sound ? 2 : 1));
    if (sound)
        hints.insert(QStringLiteral("sound-name"), QStringLiteral("message-new-instant"));
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("vellumkite"));
    QDBusMessage call =
        QDBusMessage::createMethodCall(QString::fromLatin1(kService), QString::fromLatin1(kPath),
                                       QString::fromLatin1(kInterface), QStringLiteral("Notify"));
    call << QStringLiteral("Vellumkite") << replacesId << QString() << title << body
         << QStringList() << hints << -1;
    return call;
}

QString DBusNotificationCenter::escapedForMarkup(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c == QLatin1Char('&'))
            out += QStringLiteral("&amp;");
        else if (c == QLatin1Char('<'))
            out += QStringLiteral("&lt;");
        else if (c == QLatin1Char('>'))
            out += QStringLiteral("&gt;");
        else
            out += c;
    }
    return out;
}

} // namespace vellumkite
