#include "LoginItem.hpp"

#include "TestSupport.hpp"

#include <gtest/gtest.h>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

using namespace vellumkite;
using namespace vellumkite::test;

namespace {

class LoginItemTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString entry() const { return dir.path() + QStringLiteral("/autostart/vellumkite.desktop"); }
    LoginItem item{entry(), QStringLiteral("/usr/bin/vellumkite")};
};

TEST_F(LoginItemTest, EnablingWritesAUserOnlyEntryAndDisablingRemovesIt) {
    EXPECT_FALSE(item.isEnabled());
    const mode_t old = ::umask(0);
    QString error;
    const bool enabled = item.setEnabled(true, &error);
    ::umask(old);
    ASSERT_TRUE(enabled) << qPrintable(error);
    EXPECT_TRUE(item.isEnabled());
    EXPECT_EQ(modeOf(entry()), 0600);
    EXPECT_EQ(modeOf(dir.path() + QStringLiteral("/autostart")), 0700);
    EXPECT_EQ(readAll(entry()), QByteArray("[Desktop Entry]\n"
                                           "Type=Application\n"
                                           "Name=Vellumkite\n"
                                           "Comment=Coaches you on your AI coding assistant's "
                                           "usage allowance\n"
                                           "Exec=/usr/bin/vellumkite\n"
                                           "X-GNOME-Autostart-enabled=true\n"));

    EXPECT_TRUE(item.setEnabled(false));
    EXPECT_FALSE(QFile::exists(entry()));
    EXPECT_FALSE(item.isEnabled());
    EXPECT_TRUE(item.setEnabled(false)); // already off is no error
}

TEST_F(LoginItemTest, AnEntrySwitchedOffElsewhereReadsOff) {
    ASSERT_TRUE(QDir().mkpath(dir.path() + QStringLiteral("/autostart")));
    const struct {
        const char* text;
        bool on;
    } cases[] = {
        {"[Desktop Entry]\nType=Application\nExec=x\n", true},
        {"[Desktop Entry]\nHidden=true\n", false},
        {"[Desktop Entry]\nHidden = true\n", false},
        {"[Desktop Entry]\nHidden=1\n", false},
        {"[Desktop Entry]\nHidden=false\n", true},
        {"[Desktop Entry]\nX-GNOME-Autostart-enabled=false\n", false},
        {"[Desktop Entry]\r\nX-GNOME-Autostart-enabled=false\r\n", false},
        {"[Desktop Entry]\nX-GNOME-Autostart-enabled=true\n", true},
        // Keys of another group are not the entry's.
        {"[Desktop Entry]\nExec=x\n[Desktop Action quit]\nHidden=true\n", true},
        {"# Hidden=true\n[Desktop Entry]\nExec=x\n", true},
        {"", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        ASSERT_TRUE(writeFile(entry(), c.text));
        EXPECT_EQ(item.isEnabled(), c.on);
    }
    // Switching on again replaces what the desktop wrote.
    ASSERT_TRUE(writeFile(entry(), "[Desktop Entry]\nHidden=true\n"));
    ASSERT_TRUE(item.setEnabled(true));
    EXPECT_TRUE(item.isEnabled());
}

TEST(LoginItemExecTest, ProgramPathIsQuotedAndEscapedForExec) {
    const struct {
        const char* path;
        const char* exec;
    } cases[] = {
        {"/usr/bin/vellumkite", "/usr/bin/vellumkite"},
        {"/opt/My Apps/vellumkite", "\"/opt/My Apps/vellumkite\""},
        {"/opt/100%/vellumkite", "/opt/100%%/vellumkite"},
        {"/opt/a b%c/v", "\"/opt/a b%%c/v\""},
        {"/opt/$HOME/v", "\"/opt/\\\\$HOME/v\""},
        {"/opt/say \"hi\"/v", "\"/opt/say \\\\\"hi\\\\\"/v\""},
        {"/opt/back\\slash/v", "\"/opt/back\\\\\\\\slash/v\""},
        {"/opt/it's/v", "\"/opt/it's/v\""},
        {"/opt/b\xc3\xa4r/v", "/opt/b\xc3\xa4r/v"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const auto contents = LoginItem::entryContents(QString::fromUtf8(c.path));
        ASSERT_TRUE(contents);
        EXPECT_TRUE(contents->contains(QStringLiteral("\nExec=") + QString::fromUtf8(c.exec) +
                                       QLatin1Char('\n')))
            << qPrintable(*contents);
    }
    EXPECT_FALSE(LoginItem::entryContents(QString()));
    EXPECT_FALSE(LoginItem::entryContents(QStringLiteral("bin/vellumkite")));
    EXPECT_FALSE(LoginItem::entryContents(QStringLiteral("/opt/new\nline/v")));
}

TEST_F(LoginItemTest, EntriesPassTheDesktopFileValidator) {
    const QString validator =
        QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    if (validator.isEmpty())
        GTEST_SKIP() << "desktop-file-validate is not installed";
    for (const char* path : {"/usr/bin/vellumkite", "/opt/My Apps/100%/vellumkite",
                             "/opt/$x \"q\" back\\slash `tick`/v"}) {
        SCOPED_TRACE(path);
        LoginItem odd(entry(), QString::fromUtf8(path));
        ASSERT_TRUE(odd.setEnabled(true));
        QProcess process;
        process.start(validator, {entry()});
        ASSERT_TRUE(process.waitForFinished(30000));
        EXPECT_EQ(process.exitCode(), 0);
        EXPECT_EQ(process.readAll(), QByteArray());
    }
}

TEST_F(LoginItemTest, FailuresAreDescribedAndLoggedInOneLine) {
    // A file where the autostart folder should be.
    ASSERT_TRUE(writeFile(dir.path() + QStringLiteral("/autostart"), "not a folder"));
    QString error;
    ASSERT_FALSE(item.setEnabled(true, &error));
    EXPECT_TRUE(error.contains(dir.path() + QStringLiteral("/autostart"))) << qPrintable(error);
    EXPECT_FALSE(item.isEnabled());

    static QStringList messages;
    messages.clear();
    const auto previous = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext&, const QString& message) {
            if (type == QtWarningMsg)
                messages.append(message);
        });
    LoginItem::logFailure(error);
    qInstallMessageHandler(previous);
    EXPECT_EQ(messages, QStringList{QStringLiteral("Vellumkite: launch at login: ") + error});

    // A folder in the entry's place cannot be removed as a file.
    QFile::remove(dir.path() + QStringLiteral("/autostart"));
    ASSERT_TRUE(QDir().mkpath(entry() + QStringLiteral("/inside")));
    EXPECT_FALSE(item.setEnabled(false));
    EXPECT_FALSE(LoginItem(entry(), QString()).setEnabled(true));
}

} // namespace
