// Renders the popover and the three box sizes in the states users meet, in light and dark
// palettes, into $VELLUMKITE_SHOTS/views (default: "shots/views" in the build directory). The
// demo pictures are the README's screenshots.
//
// The suite also runs on other setups (tests/app/CMakeLists.txt): a 1024x600 netbook with a
// 12-point font, the same screen at 125 %, and 200 % with a 12-point font; each keeps its
// pictures in a folder of its own.
#include "BoxStyle.hpp"
#include "DemoHistory.hpp"
#include "FloatingBox.hpp"
#include "FloatingBoxView.hpp"
#include "HistoryPresenter.hpp"
#include "HistoryWindow.hpp"
#include "MenuPopover.hpp"
#include "PopoverWindow.hpp"
#include "Theme.hpp"
#include "ViewTestSupport.hpp"

#include <QGuiApplication>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>

using namespace vellumkite;
using namespace vellumkite::testing;

namespace {

class ViewShotsTest : public ViewTest, public ::testing::WithParamInterface<bool> {
protected:
    bool dark() const { return GetParam(); }

    // Grabs a window into views/name-light.png or views/name-dark.png.
    QImage save(QWidget& window, const QString& name) {
        window.setPalette(palette(dark()));
        return savePicture(window, QStringLiteral("views/") + name, dark());
    }

    QImage popover(const QString& name) {
        PopoverWindow w(*model, PopoverWindow::Kind::panel);
        w.setPalette(palette(dark()));
        w.showPanel();
        EXPECT_EQ(w.width(), Theme::scaledWidth(MenuPopover::kWidth));
        return save(w, name);
    }

    QImage box(BoxSize size, const QString& name) {
        model->setBoxSize(size);
        FloatingBox b(*model);
        b.setPalette(palette(dark()));
        b.present();
        EXPECT_EQ(b.width(), BoxStyle::of(size).width);
        return save(b, name);
    }

    static QRect available() { return QGuiApplication::primaryScreen()->availableGeometry(); }

    static bool transparentCorner(const QImage& image) {
        return image.pixelColor(0, 0).alpha() == 0 &&
               image.pixelColor(image.width() - 1, image.height() - 1).alpha() == 0;
    }
};

} // namespace

TEST_P(ViewShotsTest, Demo) {
    demo();
    const QImage p = popover(QStringLiteral("popover-demo"));
    EXPECT_TRUE(transparentCorner(p));
    // The middle of the background is the window colour, nearly opaque.
    EXPECT_GT(p.pixelColor(p.width() / 2, 6).alpha(), 240);
    for (const BoxSize size : BoxSizes::all) {
        const QImage b = box(size, QStringLiteral("box-%1-demo").arg(BoxSizes::raw(size).data()));
        EXPECT_TRUE(transparentCorner(b));
    }
}

TEST_P(ViewShotsTest, States) {
    {
        const auto fresh = makeModel();
        PopoverWindow w(*fresh, PopoverWindow::Kind::panel);
        w.showPanel();
        save(w, QStringLiteral("popover-before-first-pass"));
    }
    popover(QStringLiteral("popover-no-data"));
    box(BoxSize::medium, QStringLiteral("box-medium-no-data"));

    Snapshot s = emptyPass();
    s.limits = limits(std::nullopt, 18);
    s.currentChat = chat("a", "/home/you/code/vellumkite", 212000, 30);
    publish(s);
    popover(QStringLiteral("popover-weekly-only"));
    box(BoxSize::small, QStringLiteral("box-small-weekly-only"));

    s.limits = limits(79.6, 52);
    s.tips = {tip(Tip::Level::warn, "5-hour limit at 80%",
                  "At this pace you reach it in about 40 minutes; it resets in 2h 10m.")};
    publish(s);
    box(BoxSize::medium, QStringLiteral("box-medium-orange"));

    s.todayWeight = 100;
    s.topChats = {chat("a", "/p/vellumkite", 1, 30),
                  chat("b", "/p/a-rather-long-project-name", 1, 25, kNow - 2h),
                  chat("c", "/p/api", 1, 20), chat("d", "/p/notes", 1, 15),
                  chat("e", "/p/scratch", 1, 10)};
    s.burnPerMin = 42000;
    s.sparkline = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 9, 8, 7, 6,
                   5, 4, 3, 2, 1, 0, 0, 3, 6, 9, 12, 9, 6, 3, 0};
    s.tips = {tip(Tip::Level::alert, "Very big chat",
                  "Every message re-reads 300k tokens. Ask for a summary and start afresh.")};
    publish(s);
    box(BoxSize::large, QStringLiteral("box-large-five-chats"));
    popover(QStringLiteral("popover-five-chats"));

    // Once the kept readings tell: the next message in percent of the 5-hour limit, and the
    // time the 5-hour window runs out (the week resets first).
    s.limits = limits(62, 18);
    s.currentChat = chat("a", "/home/you/code/vellumkite", 212000, 30);
    s.percentPerMessage = 0.94;
    s.projections = {{"five_hour", 62, kNow - 2min, kNow + 2h + 10min, kNow + 1h + 25min},
                     {"seven_day", 18, kNow - 2min, kNow + 99h, std::nullopt}};
    s.tips = {tip(Tip::Level::warn, "On pace to hit the limit at 13:25",
                  "It resets at 14:10. Slow down: finish this task, /clear, and use smaller "
                  "chats.")};
    publish(s);
    popover(QStringLiteral("popover-limits-known"));
    box(BoxSize::medium, QStringLiteral("box-medium-limits-known"));
    box(BoxSize::large, QStringLiteral("box-large-limits-known"));
    s.projections.clear();
    s.percentPerMessage.reset();
    publish(s);
    popover(QStringLiteral("popover-limits-unknown"));
}

// Every window inside the screen's available area, every control in view, nothing that matters
// cut short: on whatever screen and font the suite runs with.
TEST_P(ViewShotsTest, EveryWindowFitsTheScreenAndReadsInFull) {
    demo();
    const QRect area = available();
    // By a tray icon in a panel at the top right, then at the bottom right.
    const QRect top(area.right() - 40, area.top(), 22, 22);
    const QRect bottom(area.right() - 40, area.bottom() - 21, 22, 22);
    for (const auto& [name, icon] : {std::pair(QStringLiteral("popover-tray-top"), top),
                                     std::pair(QStringLiteral("popover-tray-bottom"), bottom)}) {
        SCOPED_TRACE(name.toStdString());
        PopoverWindow w(*model, PopoverWindow::Kind::popup);
        w.setPalette(palette(dark()));
        w.popup(icon);
        settle();
        EXPECT_TRUE(area.contains(w.frameGeometry())) << "inside the screen";
        EXPECT_FALSE(w.frameGeometry().intersects(icon)) << "clear of the icon";
        for (const char* control :
             {"historyButton", "quitButton", "showBoxToggle", "sizePicker", "loginToggle"})
            EXPECT_TRUE(inView(part(&w, control))) << control;
        EXPECT_EQ(cutTexts(&w), QStringList());
        // What does not fit scrolls, and all of it can be scrolled to.
        QScrollArea* sections = w.content()->scrollArea();
        EXPECT_EQ(w.content()->scrolls(), sections->verticalScrollBar()->maximum() > 0);
        sections->verticalScrollBar()->setValue(sections->verticalScrollBar()->maximum());
        EXPECT_TRUE(inView(part(&w, "toolNote")));
        sections->verticalScrollBar()->setValue(0);
        save(w, name);
    }

    for (const BoxSize size : BoxSizes::all) {
        SCOPED_TRACE(BoxSizes::raw(size).data());
        model->setBoxSize(size);
        FloatingBox b(*model);
        b.present();
        settle();
        EXPECT_TRUE(area.contains(b.frameGeometry()));
        EXPECT_EQ(cutTexts(&b), QStringList());
    }

    HistoryPresenter history(*model);
    model->openHistory();
    settle();
    HistoryWindow* h = history.window();
    ASSERT_TRUE(h);
    // The model's store has read its empty history by now; the demo's days are the ones to fit.
    h->setHistory(DemoHistory::overview(kNow), {});
    settle();
    EXPECT_TRUE(area.contains(h->frameGeometry()));
    EXPECT_TRUE(inView(h->measureControl()));
    EXPECT_EQ(cutTexts(h), QStringList());
    save(*h, QStringLiteral("history-fit"));
}

INSTANTIATE_TEST_SUITE_P(Palettes, ViewShotsTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Dark" : "Light"; });
