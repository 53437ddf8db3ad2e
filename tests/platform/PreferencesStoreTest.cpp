#include "PreferencesStore.hpp"

#include "LoginItem.hpp"
#include "TempDir.hpp"
#include "TestSupport.hpp"
#include "UserFiles.hpp"
#include "UserFolders.hpp"

#include <atomic>
#include <cmath>
#include <gtest/gtest.h>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <sys/stat.h>
#include <thread>

using namespace vellumkite;
using namespace vellumkite::test;

namespace {

class PreferencesStoreTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path() const { return dir.path() + QStringLiteral("/Vellumkite/preferences.json"); }

    ino_t inodeOf(const QString& file) const {
        struct stat st {};
        return ::stat(QFile::encodeName(file).constData(), &st) == 0 ? st.st_ino : 0;
    }
    QStringList backups() const {
        return QDir(QFileInfo(path()).absolutePath())
            .entryList({QStringLiteral("preferences.json.bad-*")}, QDir::Files);
    }
};

TEST_F(PreferencesStoreTest, TypesSurviveARestart) {
    int code = -1;
    runChild({QStringLiteral("write"), path()}, &code);
    ASSERT_EQ(code, 0);

    PreferencesStore store(path());
    const QVariant box = store.value(QStringLiteral("showFloatingBox"));
    EXPECT_EQ(box.typeId(), QMetaType::Bool);
    EXPECT_FALSE(box.toBool());
    EXPECT_EQ(store.value(QStringLiteral("floatingBoxSize")), QVariant(QStringLiteral("large")));
    EXPECT_EQ(store.value(QStringLiteral("word")).typeId(), QMetaType::QString);
    EXPECT_EQ(store.value(QStringLiteral("chatSoft")).typeId(), QMetaType::Double);
    EXPECT_EQ(store.value(QStringLiteral("chatSoft")).toDouble(), 120000.0);
    EXPECT_EQ(store.value(QStringLiteral("limitWarn")).toDouble(), 75.25);
    EXPECT_FALSE(store.value(QStringLiteral("missing")).isValid());

    const QVariant fired = store.value(QStringLiteral("firedNotifications"));
    ASSERT_EQ(fired.typeId(), QMetaType::QVariantMap);
    const QVariant stamp = fired.toMap().value(QStringLiteral("chat.hard|s1"));
    EXPECT_EQ(stamp.typeId(), QMetaType::Double);
    EXPECT_EQ(stamp.toDouble(), 1700000000.123456); // exactly, not to a few digits

    // What the coach sees: a text "no" is a text, not a bool.
    EXPECT_EQ(store.lookup("showFloatingBox"), PrefValue{false});
    EXPECT_EQ(store.lookup("word"), PrefValue{std::string("no")});
    EXPECT_EQ(store.lookup("chatSoft"), PrefValue{120000.0});
    EXPECT_EQ(store.lookup("firedNotifications"), PrefValue{PrefValue::Other{}});
    EXPECT_TRUE(store.lookup("missing").isAbsent());
}

TEST_F(PreferencesStoreTest, ReadsSeeWhatAnotherProcessWrote) {
    PreferencesStore store(path());
    EXPECT_FALSE(store.value(QStringLiteral("floatingBoxSize")).isValid());

    runChild({QStringLiteral("write"), path()});
    EXPECT_EQ(store.value(QStringLiteral("floatingBoxSize")).toString(), QStringLiteral("large"));

    // Changes of the same size written in place, as an editor might, each right after a read.
    const QByteArray large = readAll(path());
    QByteArray small = large;
    small.replace("\"large\"", "\"small\"");
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(writeFile(path(), small));
        EXPECT_EQ(store.value(QStringLiteral("floatingBoxSize")).toString(),
                  QStringLiteral("small"));
        ASSERT_TRUE(writeFile(path(), large));
        EXPECT_EQ(store.value(QStringLiteral("floatingBoxSize")).toString(),
                  QStringLiteral("large"));
    }

    ASSERT_TRUE(QFile::remove(path()));
    EXPECT_FALSE(store.value(QStringLiteral("floatingBoxSize")).isValid());
}

TEST_F(PreferencesStoreTest, ProcessesWritingAtOnceKeepEveryChange) {
    PreferencesStore store(path());
    ASSERT_TRUE(store.setValue(QStringLiteral("mine"), true));
    QProcess a, b;
    const QString program = QCoreApplication::applicationFilePath();
    const QString count = QStringLiteral("40");
    a.start(program, {QStringLiteral("--child"), QStringLiteral("fill"), path(),
                      QStringLiteral("a"), count});
    b.start(program, {QStringLiteral("--child"), QStringLiteral("fill"), path(),
                      QStringLiteral("b"), count});
    for (int i = 0; i < 40; ++i)
        ASSERT_TRUE(store.setValue(QStringLiteral("c") + QString::number(i), i));
    ASSERT_TRUE(a.waitForFinished(60000));
    ASSERT_TRUE(b.waitForFinished(60000));
    EXPECT_EQ(a.exitCode(), 0);
    EXPECT_EQ(b.exitCode(), 0);

    const QVariantMap values = store.values();
    EXPECT_EQ(values.size(), 121);
    for (const char* prefix : {"a", "b", "c"}) {
        for (int i = 0; i < 40; ++i)
            EXPECT_EQ(values.value(QLatin1String(prefix) + QString::number(i)), QVariant(double(i)))
                << prefix << i;
    }
}

TEST_F(PreferencesStoreTest, FolderAndFileAreUserOnlyWhateverTheUmask) {
    const mode_t old = ::umask(0);
    PreferencesStore store(dir.path() + QStringLiteral("/a/b/preferences.json"));
    const bool written = store.setValue(QStringLiteral("k"), 1);
    ::umask(old);
    ASSERT_TRUE(written);
    EXPECT_EQ(modeOf(dir.path() + QStringLiteral("/a")), 0700);
    EXPECT_EQ(modeOf(dir.path() + QStringLiteral("/a/b")), 0700);
    EXPECT_EQ(modeOf(dir.path() + QStringLiteral("/a/b/preferences.json")), 0600);
    // No temporary file is left behind.
    EXPECT_EQ(QDir(dir.path() + QStringLiteral("/a/b")).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("preferences.json")});
}

TEST_F(PreferencesStoreTest, UnparsableFileReadsEmptyAndIsKeptBeforeOurWrite) {
    for (const QByteArray& bad : {QByteArray("{\"showFloatingBox\": false,"), QByteArray("[1, 2]"),
                                  QByteArray("\"text\""), QByteArray("\xff\xfe{}")}) {
        SCOPED_TRACE(bad.constData());
        QDir(dir.path()).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(QFileInfo(path()).absolutePath()));
        ASSERT_TRUE(writeFile(path(), bad));

        PreferencesStore store(path());
        EXPECT_TRUE(store.values().isEmpty());
        EXPECT_FALSE(store.value(QStringLiteral("showFloatingBox")).isValid());
        EXPECT_EQ(readAll(path()), bad); // reading never rewrites

        ASSERT_TRUE(store.setValue(QStringLiteral("floatingBoxSize"), QStringLiteral("small")));
        const QStringList kept = backups();
        ASSERT_EQ(kept.size(), 1);
        EXPECT_EQ(readAll(QFileInfo(path()).absolutePath() + QLatin1Char('/') + kept.first()), bad);
        const QJsonDocument now = QJsonDocument::fromJson(readAll(path()));
        EXPECT_EQ(now.object().value(QStringLiteral("floatingBoxSize")).toString(),
                  QStringLiteral("small"));

        // Once the file is ours again, later writes keep no more copies.
        ASSERT_TRUE(store.setValue(QStringLiteral("showFloatingBox"), true));
        EXPECT_EQ(backups().size(), 1);
    }
}

TEST_F(PreferencesStoreTest, SameValueAgainLeavesTheFileAlone) {
    PreferencesStore store(path());
    QVariantMap record;
    record.insert(QStringLiteral("a"), 1700000000.5);
    record.insert(QStringLiteral("b"), 1700000001.0); // a whole number, read back from "1700000001"
    ASSERT_TRUE(store.setValue(QStringLiteral("firedNotifications"), record));
    ASSERT_TRUE(store.setValue(QStringLiteral("n"), 3));
    const ino_t before = inodeOf(path());

    PreferencesStore other(path());
    ASSERT_TRUE(other.setValue(QStringLiteral("firedNotifications"), record));
    ASSERT_TRUE(other.setValue(QStringLiteral("n"), 3.0));
    ASSERT_TRUE(other.remove(QStringLiteral("never-set")));
    EXPECT_EQ(inodeOf(path()), before);

    ASSERT_TRUE(other.setValue(QStringLiteral("n"), 4));
    EXPECT_NE(inodeOf(path()), before);
    EXPECT_EQ(store.value(QStringLiteral("n")).toDouble(), 4.0);
}

TEST_F(PreferencesStoreTest, ValuesThatCannotBeStoredAreRefusedWhole) {
    PreferencesStore store(path());
    ASSERT_TRUE(store.setValue(QStringLiteral("keep"), true));
    QVariantMap withBytes;
    withBytes.insert(QStringLiteral("ok"), 1.0);
    withBytes.insert(QStringLiteral("bytes"), QByteArray("x"));
    EXPECT_FALSE(store.setValue(QStringLiteral("d"), QDateTime::currentDateTime()));
    EXPECT_FALSE(store.setValue(QStringLiteral("d"), std::nan("")));
    EXPECT_FALSE(store.setValue(QStringLiteral("d"), HUGE_VAL));
    EXPECT_FALSE(store.setValue(QStringLiteral("d"), withBytes));
    EXPECT_EQ(PreferencesStore(path()).values().keys(), QStringList{QStringLiteral("keep")});
}

TEST_F(PreferencesStoreTest, WritesThroughASymbolicLink) {
    const QString real = dir.path() + QStringLiteral("/dotfiles/prefs.json");
    ASSERT_TRUE(QDir().mkpath(dir.path() + QStringLiteral("/dotfiles")));
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path()).absolutePath()));
    ASSERT_TRUE(writeFile(real, "{\"a\": 1}"));
    ASSERT_TRUE(QFile::link(real, path()));

    PreferencesStore store(path());
    ASSERT_TRUE(store.setValue(QStringLiteral("b"), 2));
    EXPECT_TRUE(QFileInfo(path()).isSymLink());
    const QJsonObject target = QJsonDocument::fromJson(readAll(real)).object();
    EXPECT_EQ(target.value(QStringLiteral("a")).toDouble(), 1.0);
    EXPECT_EQ(target.value(QStringLiteral("b")).toDouble(), 2.0);
}

TEST_F(PreferencesStoreTest, ReadingFromAnotherThreadWhileWriting) {
    PreferencesStore store(path());
    ASSERT_TRUE(store.setValue(QStringLiteral("chatSoft"), 1));
    std::atomic<bool> stop{false};
    std::atomic<int> wrong{0};
    std::thread reader([&] {
        while (!stop) {
            const PrefValue v = store.lookup("chatSoft");
            if (v != PrefValue{1.0} && v != PrefValue{2.0})
                ++wrong;
        }
    });
    for (int i = 0; i < 100; ++i)
        EXPECT_TRUE(store.setValue(QStringLiteral("chatSoft"), 1 + i % 2));
    stop = true;
    reader.join();
    EXPECT_EQ(wrong, 0);
}

TEST(UserFoldersAgreeTest, OurFilesGoWhereTheCoreSaysEvenWithAnOddHome) {
    QTemporaryDir cwd;
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(cwd.path()));
    vellumkite::testing::ScopedEnv config("XDG_CONFIG_HOME", nullptr);
    for (const char* home : {"relative/home", ""}) {
        SCOPED_TRACE(home);
        vellumkite::testing::ScopedEnv env("HOME", home);
        const QString expected = UserFiles::fromPath(UserFolders::configHome());
        ASSERT_TRUE(QDir::isAbsolutePath(expected)) << qPrintable(expected);
        EXPECT_EQ(PreferencesStore::defaultPath(),
                  expected + QStringLiteral("/Vellumkite/preferences.json"));
        EXPECT_EQ(LoginItem::defaultEntryPath(),
                  expected + QStringLiteral("/autostart/vellumkite.desktop"));
    }

    // With no home folder at all there is no file: reads find nothing, writes fail, and nothing
    // lands in the current folder.
    PreferencesStore nowhere{QString()};
    EXPECT_FALSE(nowhere.value(QStringLiteral("k")).isValid());
    EXPECT_FALSE(nowhere.setValue(QStringLiteral("k"), true));
    LoginItem noEntry(QString(), QStringLiteral("/usr/bin/vellumkite"));
    QString error;
    EXPECT_FALSE(noEntry.setEnabled(true, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(QDir(cwd.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    QDir::setCurrent(previous);
}

} // namespace
