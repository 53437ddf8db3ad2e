#include "TrayNotificationCenter.hpp"

#include "AppIcon.hpp"
#include "MemoryPreferences.hpp"
#include "Notifier.hpp"
#include "ViewTestSupport.hpp"

#include <QApplication>
#include <QLabel>
#include <vector>

using namespace vellumkite;
using namespace vellumkite::testing;

namespace {

struct Shown {
    QString title, body;
    QSystemTrayIcon::MessageIcon icon;
    int msecs;
    bool operator==(const Shown&) const = default;
};

Tip keyed(const std::string& rule, const char* key, Tip::Level level) {
    return {rule, level, "Title of " + rule, "Text of " + rule, key};
}

// The labels of the visible top-level windows: a tray balloon shows its title and body in two.
QStringList shownLabels() {
    QStringList texts;
    for (const QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible())
            for (const QLabel* label : w->findChildren<const QLabel*>())
                texts << label->text();
    return texts;
}

} // namespace

// The notifier's posts, as the tray shows them: title and body as they are, the warning icon for
// an alert, one message per post even for a key that was shown before.
TEST(TrayNotificationCenter, PostsFromTheNotifierBecomeMessages) {
    std::vector<Shown> shown;
    TrayNotificationCenter center([&](const QString& title, const QString& body,
                                      QSystemTrayIcon::MessageIcon icon, int msecs) {
        shown.push_back({title, body, icon, msecs});
    });
    MemoryPreferences prefs;
    Notifier notifier(prefs, &center, [] { return kNow; });

    notifier.consider({keyed("limit.pace", "limit.pace|a", Tip::Level::warn)});
    notifier.consider({keyed("chat.hard", "chat.hard|s1", Tip::Level::alert)});
    EXPECT_EQ(shown,
              (std::vector<Shown>{{"Title of limit.pace", "Text of limit.pace",
                                   QSystemTrayIcon::Information, TrayNotificationCenter::kShowMs},
                                  {"Title of chat.hard", "Text of chat.hard",
                                   QSystemTrayIcon::Warning, TrayNotificationCenter::kShowMs}}));
    // A message cannot replace an earlier one: the same identifier shows again.
    center.post(QStringLiteral("chat.hard|s1"), QStringLiteral("Again"), QStringLiteral("Body"),
                false);
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown.back().title, "Again");
}

// Through a real tray icon: nothing before the icon is set or once it is gone; with a system tray
// (under X with one, in views.TrayMessageEndToEnd), the balloon by the icon.
TEST(TrayNotificationCenter, ShowsTheMessageByTheTrayIcon) {
    const auto center = TrayNotificationCenter::create();
    ASSERT_NE(center, nullptr); // Qt Widgets draws messages itself where the tray does not
    center->post(QStringLiteral("early"), QStringLiteral("Early"), QStringLiteral("Dropped"),
                 false);
    {
        QSystemTrayIcon gone(AppIcon::icon());
        center->setTray(&gone);
    }
    center->post(QStringLiteral("late"), QStringLiteral("Late"), QStringLiteral("Dropped"), false);
    settle();
    EXPECT_FALSE(shownLabels().contains(QStringLiteral("Dropped")));

    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        if (qEnvironmentVariableIsSet("VELLUMKITE_EXPECT_TRAY"))
            FAIL() << "no system tray";
        GTEST_SKIP() << "no system tray to show messages";
    }
    QSystemTrayIcon icon(AppIcon::icon());
    icon.show();
    center->setTray(&icon);
    center->post(QStringLiteral("chat.hard|s1"), QStringLiteral("Chat getting long"),
                 QStringLiteral("Start a new one soon."), true);
    EXPECT_TRUE(waitUntil([] {
        const QStringList labels = shownLabels();
        return labels.contains(QStringLiteral("Chat getting long")) &&
               labels.contains(QStringLiteral("Start a new one soon."));
    }));
}
