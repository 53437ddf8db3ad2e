#include "DBusNotificationCenter.hpp"

#include "TestSupport.hpp"

#include <gtest/gtest.h>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUuid>

using namespace vellumkite;
using namespace vellumkite::test;

namespace {

// A session bus of our own: a dbus-daemon with nothing on it but what a test puts there, and an
// optional service folder so that names can be made activatable.
class PrivateBus {
public:
    explicit PrivateBus(const QStringList& activatable = {}) {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty() || !dir_.isValid())
            return;
        const QString services = dir_.path() + QStringLiteral("/services");
        QDir().mkpath(services);
        for (const QString& name : activatable)
            writeFile(services + QLatin1Char('/') + name + QStringLiteral(".service"),
                      "[D-BUS Service]\nName=" + name.toUtf8() + "\nExec=/bin/false\n");
        const QString config = dir_.path() + QStringLiteral("/bus.conf");
        writeFile(config,
                  "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus "
                  "Configuration 1.0//EN\" "
                  "\"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                  "<busconfig><type>session</type><listen>unix:dir=" +
                      dir_.path().toUtf8() + "</listen><auth>EXTERNAL</auth><servicedir>" +
                      services.toUtf8() +
                      "</servicedir><policy context=\"default\"><allow send_destination=\"*\"/>"
                      "<allow receive_sender=\"*\"/><allow own=\"*\"/></policy>"
                      "</busconfig>\n");
        daemon_.start(daemon, {QStringLiteral("--config-file=") + config,
                               QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
        if (!daemon_.waitForStarted(10000))
            return;
        waitUntil([&] { return daemon_.canReadLine(); }, 10000);
        address_ = QString::fromUtf8(daemon_.readLine().trimmed());
    }
    ~PrivateBus() {
        for (const QString& name : names_)
            QDBusConnection::disconnectFromBus(name);
        daemon_.kill();
        daemon_.waitForFinished(5000);
    }

    bool isValid() const { return !address_.isEmpty(); }

    // A new connection to this bus; each one is a separate client.
    QDBusConnection connect() {
        names_.append(QUuid::createUuid().toString());
        return QDBusConnection::connectToBus(address_, names_.last());
    }

private:
    QTemporaryDir dir_;
    QProcess daemon_;
    QString address_;
    QStringList names_;
};

struct Received {
    QString app;
    uint replacesId;
    QString icon, summary, body;
    QStringList actions;
    QVariantMap hints;
    int timeout;
    QString signature;
};

// Stands in for the desktop's notification server.
class FakeServer : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QStringList capabilities = {QStringLiteral("body")};
    QList<Received> received;

public slots:
    QStringList GetCapabilities() { return capabilities; }

    uint Notify(const QString& app, uint replacesId, const QString& icon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints,
                int timeout) {
        received.append(
            {app, replacesId, icon, summary, body, actions, hints, timeout, message().signature()});
        return replacesId != 0 ? replacesId : ++lastId_;
    }

private:
    uint lastId_ = 40;
};

class DBusNotificationCenterTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!bus.isValid())
            GTEST_SKIP() << "no dbus-daemon to run a private bus";
    }

    // Puts the fake server on the bus under the service's name.
    void serve() {
        QDBusConnection server = bus.connect();
        ASSERT_TRUE(server.registerObject(QString::fromLatin1(DBusNotificationCenter::kPath), &fake,
                                          QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(server.registerService(QString::fromLatin1(DBusNotificationCenter::kService)));
    }

    PrivateBus bus;
    FakeServer fake;
};

TEST_F(DBusNotificationCenterTest, NoCentreWithoutAServerOrABus) {
    EXPECT_FALSE(DBusNotificationCenter::create(bus.connect()));
    const QDBusConnection nowhere = QDBusConnection::connectToBus(
        QStringLiteral("unix:path=/nonexistent/vellumkite-bus"), QStringLiteral("nowhere"));
    EXPECT_FALSE(DBusNotificationCenter::create(nowhere));
    QDBusConnection::disconnectFromBus(QStringLiteral("nowhere"));
}

TEST(DBusNotificationCenterActivationTest, ACentreWhenTheBusCanStartTheServer) {
    PrivateBus bus({QStringLiteral("org.freedesktop.Notifications")});
    if (!bus.isValid())
        GTEST_SKIP() << "no dbus-daemon to run a private bus";
    EXPECT_TRUE(DBusNotificationCenter::create(bus.connect()));
}

TEST_F(DBusNotificationCenterTest, PostsTheFreedesktopCallAndReplacesByIdentifier) {
    serve();
    auto center = DBusNotificationCenter::create(bus.connect());
    ASSERT_TRUE(center);
    QList<uint> ids;
    QObject::connect(center.get(), &DBusNotificationCenter::posted,
                     [&](const QString&, uint id) { ids.append(id); });

    center->post(QStringLiteral("chat.hard|s1"), QStringLiteral("This chat is very big"),
                 QStringLiteral("Start a new one"), false);
    ASSERT_TRUE(waitUntil([&] { return ids.size() == 1; }));
    ASSERT_EQ(fake.received.size(), 1);
    const Received& quiet = fake.received[0];
    EXPECT_EQ(quiet.signature, QStringLiteral("susssasa{sv}i"));
    EXPECT_EQ(quiet.app, QStringLiteral("Vellumkite"));
    EXPECT_EQ(quiet.replacesId, 0u);
    EXPECT_EQ(quiet.icon, QString());
    EXPECT_EQ(quiet.summary, QStringLiteral("This chat is very big"));
    EXPECT_EQ(quiet.body, QStringLiteral("Start a new one"));
    EXPECT_TRUE(quiet.actions.isEmpty());
    EXPECT_EQ(quiet.timeout, -1);
    EXPECT_EQ(quiet.hints.value(QStringLiteral("urgency")).typeId(), QMetaType::UChar);
    EXPECT_EQ(quiet.hints.value(QStringLiteral("urgency")).value<uchar>(), 1);
    EXPECT_EQ(quiet.hints.value(QStringLiteral("desktop-entry")),
              QVariant(QStringLiteral("vellumkite")));
    EXPECT_FALSE(quiet.hints.contains(QStringLiteral("sound-name")));

    center->post(QStringLiteral("limit.pace|r"), QStringLiteral("t"), QStringLiteral("b"), true);
    ASSERT_TRUE(waitUntil([&] { return ids.size() == 2; }));
    const Received& loud = fake.received[1];
    EXPECT_EQ(loud.replacesId, 0u);
    EXPECT_EQ(loud.hints.value(QStringLiteral("urgency")).value<uchar>(), 2);
    EXPECT_EQ(loud.hints.value(QStringLiteral("sound-name")),
              QVariant(QStringLiteral("message-new-instant")));

    center->post(QStringLiteral("chat.hard|s1"), QStringLiteral("again"), QStringLiteral("b"),
                 false);
    ASSERT_TRUE(waitUntil([&] { return ids.size() == 3; }));
    EXPECT_EQ(fake.received[2].replacesId, ids[0]);
    EXPECT_NE(ids[0], ids[1]);
}

TEST_F(DBusNotificationCenterTest, BodiesAreEscapedOnlyForServersThatReadMarkup) {
    serve();
    for (const bool markup : {false, true}) {
        fake.received.clear();
        fake.capabilities = markup
                                ? QStringList{QStringLiteral("body"), QStringLiteral("body-markup")}
                                : QStringList{QStringLiteral("body")};
        auto center = DBusNotificationCenter::create(bus.connect());
        ASSERT_TRUE(center);
        center->post(QStringLiteral("k"), QStringLiteral("a < b & c"), QStringLiteral("a < b & c"),
                     false);
        ASSERT_TRUE(waitUntil([&] { return fake.received.size() == 1; }));
        EXPECT_EQ(fake.received[0].summary, QStringLiteral("a < b & c"));
        EXPECT_EQ(fake.received[0].body,
                  markup ? QStringLiteral("a &lt; b &amp; c") : QStringLiteral("a < b & c"));
    }
}

} // namespace

#include "DBusNotificationCenterTest.moc"
