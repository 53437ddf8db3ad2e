#pragma once

// A model to show views of: no logs, no limits file, a fixed clock, preferences in memory. Its
// one real pass (an empty one) has published before a test starts; tests then publish made-up
// figures or the demo data.
#include "AppModel.hpp"
#include "LimitBar.hpp"
#include "LoginItem.hpp"
#include "MemoryPreferences.hpp"
#include "SegmentedControl.hpp"
#include "TempDir.hpp"
#include "TextLine.hpp"
#include "Timestamp.hpp"
#include "WaitUntil.hpp"

#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <QAbstractButton>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPalette>
#include <QPixmap>
#include <QStringList>
#include <QWidget>

// Failures show texts as text.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace vellumkite::testing {

using namespace std::chrono_literals;

inline const Instant kNow = *Timestamp::parse("2025-03-01T12:00:00.000Z");

// Runs what is queued on the event loop now, e.g. the views' coalesced refills.
inline void settle() {
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

inline Limits limits(std::optional<double> fiveHour, std::optional<double> weekly) {
    Limits l;
    if (fiveHour)
        l.fiveHour = Limits::Window{*fiveHour, kNow + 2h + 10min};
    if (weekly)
        l.sevenDay = Limits::Window{*weekly, kNow + 99h};
    l.savedAt = kNow;
    return l;
}

inline ChatSummary chat(const std::string& id, const std::string& project, std::int64_t size,
                        double weight, Instant last = kNow) {
    return {id, project, last, 12, size, weight, 0};
}

inline Snapshot emptyPass() {
    Snapshot s;
    s.sparkline.assign(Snapshot::kSparklineMinutes, 0);
    return s;
}

inline Tip tip(Tip::Level level, const char* title, const char* text) {
    return {"test", level, title, text, std::nullopt};
}

// The texts of the TextLines under root that would show, in layout order.
inline QStringList visibleTexts(const QWidget* root) {
    QStringList out;
    for (const TextLine* t : root->findChildren<const TextLine*>())
        if (t->isVisibleTo(root) && !t->text().isEmpty())
            out << t->text();
    return out;
}

// What shows cut short under root: texts that end in an ellipsis, limit rows, segmented
// controls and buttons narrower than their text.
inline QStringList cutTexts(const QWidget* root) {
    QStringList out;
    for (const TextLine* t : root->findChildren<const TextLine*>())
        if (t->isVisibleTo(root) && t->fit() == TextLine::Fit::elide &&
            t->displayedLines() != QStringList{t->text()} && !t->text().isEmpty())
            out << t->text();
    for (const LimitBar* bar : root->findChildren<const LimitBar*>())
        if (bar->isVisibleTo(root) && !bar->fits())
            out << bar->title();
    for (const SegmentedControl* c : root->findChildren<const SegmentedControl*>())
        if (c->isVisibleTo(root) && !c->fits())
            out << c->options().join(QLatin1Char('/'));
    for (const QAbstractButton* b : root->findChildren<const QAbstractButton*>())
        if (b->isVisibleTo(root) && !b->text().isEmpty() && b->width() < b->sizeHint().width())
            out << b->text();
    return out;
}

// Whether the whole widget is in view: shown, and not scrolled away or cut by a parent.
inline bool inView(const QWidget* w) {
    return w && w->isVisible() && w->visibleRegion().boundingRect() == w->rect();
}

// Grabs a window into name-light.png or name-dark.png under the pictures' folder
// ($VELLUMKITE_SHOTS, else "shots" in the build directory) and returns the picture.
inline QImage savePicture(QWidget& window, const QString& name, bool dark) {
    const QPixmap pm = window.grab();
    QDir dir(qEnvironmentVariableIsSet("VELLUMKITE_SHOTS")
                 ? qEnvironmentVariable("VELLUMKITE_SHOTS")
                 : QStringLiteral(VELLUMKITE_DEFAULT_SHOTS));
    const QString file = QStringLiteral("%1-%2.png").arg(name, dark ? "dark" : "light");
    dir.mkpath(QFileInfo(file).path());
    EXPECT_TRUE(pm.save(dir.filePath(file))) << file.toStdString();
    return pm.toImage();
}

template <typename T = QWidget> T* part(const QWidget* root, const char* name) {
    T* w = root->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
}

inline bool shows(const QWidget* root, const char* name) {
    const QWidget* w = root->findChild<const QWidget*>(QString::fromLatin1(name));
    return w && w->isVisibleTo(root);
}

// Light and dark palettes close to a native desktop's.
inline QPalette palette(bool dark) {
    const QColor window = dark ? QColor(0x2A, 0x2A, 0x2C) : QColor(0xEE, 0xEE, 0xF0);
    const QColor text = dark ? QColor(0xF5, 0xF5, 0xF7) : QColor(0x1D, 0x1D, 0x1F);
    const QColor button = dark ? QColor(0x48, 0x48, 0x4A) : QColor(0xF6, 0xF6, 0xF8);
    QPalette p(button, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::Base, dark ? QColor(0x3A, 0x3A, 0x3C) : QColor(Qt::white));
    p.setColor(QPalette::Highlight, dark ? QColor(0x0A, 0x84, 0xFF) : QColor(0x00, 0x7A, 0xFF));
    return p;
}

class ViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        model = makeModel();
        // The empty first pass, so that later publishes are the only changes.
        ASSERT_TRUE(waitUntil([this] { return model->loaded(); }));
        settle();
    }

    std::unique_ptr<AppModel> makeModel() {
        AppModel::Services s;
        s.preferences = &prefs;
        s.loginItem = &loginItem;
        s.clock = [] { return kNow; };
        s.environment = [] { return Environment(); };
        s.logRoot = dir / "projects";
        s.limitsFile = dir / "statusline.json";
        s.historyFile = dir / "history.sqlite3";
        s.intervalMs = 3600 * 1000;
        return std::make_unique<AppModel>(std::move(s));
    }

    void publish(const Snapshot& s) {
        model->publishForTest(s);
        settle();
    }
    void demo() {
        model->loadDemo();
        settle();
    }

    TempDir dir;
    ScopedEnv home{"HOME", dir.path().c_str()};
    ScopedEnv config{"XDG_CONFIG_HOME", (dir / "config").c_str()};
    ScopedEnv data{"XDG_DATA_HOME", (dir / "data").c_str()};
    ScopedEnv assistant{"CLAUDE_CONFIG_DIR", (dir / "claude").c_str()};
    MemoryPreferences prefs;
    LoginItem loginItem{QString::fromStdString((dir / "autostart" / "vellumkite.desktop").string()),
                        QStringLiteral("/usr/bin/vellumkite")};
    std::unique_ptr<AppModel> model;
};

} // namespace vellumkite::testing
