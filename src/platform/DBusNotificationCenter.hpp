#pragma once

#include "NotificationCenter.hpp"

#include <memory>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QHash>
#include <QList>
#include <QObject>
#include <QStringList>

namespace vellumkite {

// Desktop notifications through the freedesktop service org.freedesktop.Notifications.
class DBusNotificationCenter : public QObject, public NotificationCenter {
    Q_OBJECT

public:
    static constexpr const char* kService = "org.freedesktop.Notifications";
    static constexpr const char* kPath = "/org/freedesktop/Notifications";
    static constexpr const char* kInterface = "org.freedesktop.Notifications";

    // Nothing when the bus is not connected, or the service neither runs nor can be started by the
    // bus. Asks the bus with short timeouts, so a hung bus delays this at most ~2 * timeoutMs.
    static std::unique_ptr<DBusNotificationCenter>
    create(const QDBusConnection& bus = QDBusConnection::sessionBus(), int timeoutMs = 1500);

    // Sends Notify without waiting for the answer. Until the server has said whether it reads
    // markup in bodies, posts wait in a queue here.
    void post(const QString& identifier, const QString& title, const QString& body,
              bool sound) override;

    // The Notify call for a post: app "Vellumkite", no icon or actions, urgency 1 (2 with sound),
    // "sound-name" only with sound, "desktop-entry" "vellumkite", the server's default timeout.
    static QDBusMessage notifyMessage(uint replacesId, const QString& title, const QString& body,
                                      bool sound);
    // Text shown literally by a server that reads markup in bodies.
    static QString escapedForMarkup(const QString& text);

signals:
    // The server took the post identifier and gave it this id.
    void posted(const QString& identifier, uint serverId);
    // The server, or the bus, refused the post.
    void postFailed(const QString& identifier, const QString& error);

private:
    struct Post {
        QString identifier, title, body;
        bool sound = false;
    };

    explicit DBusNotificationCenter(const QDBusConnection& bus);
    void askCapabilities();
    void send(const Post& post);
    void remember(const QString& identifier, uint serverId);

    QDBusConnection bus_;
    bool capabilitiesKnown_ = false;
    bool bodyMarkup_ = false;
    QList<Post> waiting_;
    QHash<QString, uint> serverIds_;
    QStringList rememberedOrder_; // oldest first, to bound serverIds_
};

} // namespace vellumkite
