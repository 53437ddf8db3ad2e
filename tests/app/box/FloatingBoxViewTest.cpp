#include "FloatingBoxView.hpp"

#include "BoxStyle.hpp"
#include "Dot.hpp"
#include "Sparkline.hpp"
#include "Theme.hpp"
#include "TipCard.hpp"
#include "UsageBar.hpp"
#include "ViewTestSupport.hpp"

#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolButton>

using namespace vellumkite;
using namespace vellumkite::testing;

namespace {

class FloatingBoxViewTest : public ViewTest {
protected:
    // The rows that would show, by name, top to bottom.
    static QStringList rows(const FloatingBoxView& v) {
        QStringList out;
        for (const char* name : {"header", "fiveHourRow", "weeklyRow", "noReading", "chatRow",
                                 "liveBlock", "tipCard", "busiest"})
            if (shows(&v, name))
                out << QString::fromLatin1(name);
        return out;
    }

    Snapshot full() {
        Snapshot s = emptyPass();
        s.limits = limits(34, 18);
        s.currentChat = chat("a", "/Users/you/Projects/my-app", 86000, 41);
        s.topChats = {chat("a", "/p/one", 1, 41), chat("b", "/p/two", 1, 27, kNow - 95min),
                      chat("c", "/p/three", 1, 14), chat("d", "/p/four", 1, 6),
                      chat("e", "/p/five", 1, 2)};
        s.todayWeight = 100;
        s.burnPerMin = 18000;
        s.tips = {tip(Tip::Level::warn, "Long chat",
                      "Start a new chat for the next task. This text goes on for a good while "
                      "so that it needs more than three lines in the compact card of the "
                      "medium box, which cuts it off with an ellipsis.")};
        return s;
    }
};

} // namespace

TEST_F(FloatingBoxViewTest, EachSizeHasItsWidthAndRows) {
    publish(full());
    FloatingBoxView v(*model);
    const struct {
        BoxSize size;
        int width;
        QStringList rows;
    } cases[] = {
        {BoxSize::small, 240, {"header", "fiveHourRow", "chatRow"}},
        {BoxSize::medium,
         300,
         {"header", "fiveHourRow", "weeklyRow", "chatRow", "liveBlock", "tipCard"}},
        {BoxSize::large,
         380,
         {"header", "fiveHourRow", "weeklyRow", "chatRow", "liveBlock", "tipCard", "busiest"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(BoxSizes::title(c.size).toStdString());
        model->setBoxSize(c.size);
        settle();
        EXPECT_EQ(v.fittingSize().width(), c.width);
        EXPECT_EQ(v.width(), c.width);
        EXPECT_EQ(rows(v), c.rows);
        const auto* five = part(&v, "fiveHourRow");
        // The small box has no reset lines.
        EXPECT_EQ(visibleTexts(five).size(), c.size == BoxSize::small ? 2 : 3);
        EXPECT_EQ(five->findChild<UsageBar*>()->barHeight(), c.size == BoxSize::large ? 8 : 6);
    }

    // Large: the fonts grow, the sparkline is 36 high, the tip is complete and three of the
    // five chats are listed.
    EXPECT_EQ(part(&v, "chatRow")->findChildren<TextLine*>()[0]->textFont().pointSizeF(),
              Theme::systemFont(15).pointSizeF());
    EXPECT_EQ(part(&v, "liveBlock")->findChild<Sparkline*>()->height(), 36);
    EXPECT_FALSE(part<TipCard>(&v, "tipCard")->isCompact());
    EXPECT_EQ(visibleTexts(part(&v, "busiest")),
              QStringList({"Busiest chats today", "41%", "one", "now", "27%", "two", "1h ago",
                           "14%", "three", "now"}));

    model->setBoxSize(BoxSize::medium);
    settle();
    EXPECT_EQ(part(&v, "liveBlock")->findChild<Sparkline*>()->height(), 24);
    auto* card = part<TipCard>(&v, "tipCard");
    EXPECT_TRUE(card->isCompact());
    EXPECT_LE(TipCard::layout(card->tip(), true, card->width()).textLines.size(), 3);
}

TEST_F(FloatingBoxViewTest, MediumRowsReadInFull) {
    model->setBoxSize(BoxSize::medium);
    publish(full());
    FloatingBoxView v(*model);
    EXPECT_EQ(visibleTexts(part(&v, "header")), QStringList({"Vellumkite"}));
    EXPECT_EQ(part<QToolButton>(&v, "sizeButton")->text(), "Medium");
    EXPECT_EQ(visibleTexts(part(&v, "fiveHourRow")),
              QStringList({"5-hour limit", "34% used", "Resets in 2h 10m"}));
    EXPECT_EQ(visibleTexts(part(&v, "weeklyRow")),
              QStringList({"Weekly limit", "18% used", "Resets in 4d 3h"}));
    EXPECT_EQ(visibleTexts(part(&v, "chatRow")), QStringList({"This chat: 86k tokens", "my-app"}));
    EXPECT_EQ(visibleTexts(part(&v, "liveBlock")), QStringList({"Using now", "18k/min"}));
}

TEST_F(FloatingBoxViewTest, LimitRowsFollowTheReading) {
    FloatingBoxView v(*model);
    Snapshot s = emptyPass();

    // Small: the weekly window only stands in for a missing 5-hour one.
    model->setBoxSize(BoxSize::small);
    s.limits = limits(std::nullopt, 18);
    publish(s);
    EXPECT_EQ(rows(v), QStringList({"header", "weeklyRow", "chatRow"}));
    // No reading: the small box goes straight from the header to the chat.
    s.limits.reset();
    publish(s);
    EXPECT_EQ(rows(v), QStringList({"header", "chatRow"}));
    model->setBoxSize(BoxSize::medium);
    settle();
    EXPECT_TRUE(shows(&v, "noReading"));
    EXPECT_EQ(part<TextLine>(&v, "noReading")->text(),
              "No limit reading yet (turn on the status line).");

    // Colour from the unrounded value: 79.6 reads 80 but stays orange, like its gauge.
    s.limits = limits(79.6, 80);
    publish(s);
    auto* five = part(&v, "fiveHourRow")->findChildren<TextLine*>()[1];
    EXPECT_EQ(five->text(), "80% used");
    EXPECT_EQ(five->textColor(), Theme::levelTextColor(Level::warn, v.palette()));
    EXPECT_EQ(part(&v, "weeklyRow")->findChildren<TextLine*>()[1]->textColor(),
              Theme::levelTextColor(Level::alert, v.palette()));
}

TEST_F(FloatingBoxViewTest, ChatRowAndMissingData) {
    const auto fresh = makeModel();
    fresh->setBoxSize(BoxSize::large);
    FloatingBoxView before(*fresh);
    ASSERT_FALSE(fresh->loaded());
    EXPECT_EQ(visibleTexts(part(&before, "chatRow")), QStringList({"Reading your chats\u2026"}));
    EXPECT_TRUE(shows(&before, "noReading"));
    EXPECT_TRUE(part(&before, "liveBlock")->findChild<Sparkline*>()->values().empty());
    EXPECT_FALSE(shows(&before, "busiest"));
    EXPECT_FALSE(shows(&before, "tipCard"));

    FloatingBoxView v(*model);
    EXPECT_EQ(visibleTexts(part(&v, "chatRow")), QStringList({"No chats in the last week."}));
    Snapshot s = emptyPass();
    s.currentChat = chat("a", "/p/big", 300000, 1);
    publish(s);
    EXPECT_EQ(part(&v, "chatRow")->findChild<Dot*>()->level(), Level::alert);

    // The size text keeps its full width; only the project gives way.
    s.currentChat = chat("a", "/p/" + std::string(120, 'n'), 1234567, 1);
    publish(s);
    v.resize(v.fittingSize());
    v.show();
    settle();
    const auto lines = part(&v, "chatRow")->findChildren<TextLine*>();
    EXPECT_EQ(lines[0]->displayedLines(), QStringList({"This chat: 1.2M tokens"}));
    EXPECT_GE(lines[0]->width(), lines[0]->sizeHint().width());
    EXPECT_TRUE(lines[1]->displayedLines().front().endsWith(QChar(0x2026)));
    EXPECT_LE(lines[1]->geometry().right(), 300 - 12);
}

TEST_F(FloatingBoxViewTest, TheChatsShareOfTheLimitShowsWhereTheGaugesHaveDetails) {
    Snapshot s = full();
    s.percentPerMessage = 12.345;
    publish(s);
    for (const BoxSize size : BoxSizes::all) {
        SCOPED_TRACE(BoxSizes::raw(size).data());
        model->setBoxSize(size);
        FloatingBoxView v(*model);
        const bool details = BoxStyle::of(size).resetLines;
        EXPECT_EQ(shows(&v, "chatShare"), details);
        if (details) {
            EXPECT_EQ(part<TextLine>(&v, "chatShare")->text(),
                      QStringLiteral("\u2248 12 % of your 5-hour limit per message"));
        }
    }
    s.percentPerMessage.reset();
    publish(s);
    model->setBoxSize(BoxSize::large);
    FloatingBoxView v(*model);
    EXPECT_FALSE(shows(&v, "chatShare"));
}

TEST_F(FloatingBoxViewTest, MenusAndCloseWriteTheBoxSettings) {
    model->setBoxSize(BoxSize::medium);
    FloatingBoxView v(*model);

    const auto menu = v.makeContextMenu();
    QSignalSpy history(model.get(), &AppModel::historyRequested);
    menu->actions().front()->trigger(); // "History"
    EXPECT_EQ(history.count(), 1);
    const auto actions = menu->actions().mid(2);
    ASSERT_EQ(actions.size(), 5);
    EXPECT_EQ(actions[0]->text(), "Small");
    EXPECT_EQ(actions[1]->text(), "Medium");
    EXPECT_EQ(actions[2]->text(), "Large");
    EXPECT_TRUE(actions[3]->isSeparator());
    EXPECT_EQ(actions[4]->text(), "Hide box");
    // Only the current size carries the checkmark.
    EXPECT_TRUE(actions[0]->icon().isNull());
    EXPECT_FALSE(actions[1]->icon().isNull());
    EXPECT_TRUE(actions[2]->icon().isNull());

    actions[2]->trigger();
    settle();
    EXPECT_EQ(model->boxSize(), BoxSize::large);
    EXPECT_EQ(v.sizeButton()->text(), "Large");
    EXPECT_EQ(prefs.value("floatingBoxSize"), QVariant(QStringLiteral("large")));

    // The header's menu offers the same sizes, checked afresh each time it opens.
    QMenu* header = v.sizeButton()->menu();
    ASSERT_NE(header, nullptr);
    emit header->aboutToShow();
    ASSERT_EQ(header->actions().size(), 3);
    EXPECT_FALSE(header->actions()[2]->icon().isNull());
    EXPECT_TRUE(header->actions()[1]->icon().isNull());
    header->actions()[0]->trigger();
    settle();
    EXPECT_EQ(model->boxSize(), BoxSize::small);

    actions[4]->trigger();
    EXPECT_FALSE(model->showBox());
    model->setShowBox(true);
    QTest::mouseClick(v.closeButton(), Qt::LeftButton);
    EXPECT_FALSE(model->showBox());
    EXPECT_EQ(prefs.value("showFloatingBox"), QVariant(false));
}

TEST_F(FloatingBoxViewTest, WithoutATrayTheMenuOpensTheProgramAndQuits) {
    FloatingBoxView v(*model);
    const auto texts = [&v] {
        QStringList out;
        const auto menu = v.makeContextMenu();
        for (const QAction* a : menu->actions())
            out << (a->isSeparator() ? QStringLiteral("-") : a->text());
        return out;
    };
    const QStringList plain{"History", "-", "Small", "Medium", "Large", "-", "Hide box"};
    EXPECT_EQ(texts(), plain);

    // The tray is asked each time the menu is made: it may come and go while the program runs.
    bool trayShown = false;
    int opened = 0;
    v.setTrayFallback({[&] { return !trayShown; }, [&] { ++opened; }});
    EXPECT_EQ(texts(), QStringList({"Open Vellumkite", "History", "-", "Small", "Medium", "Large",
                                    "-", "Hide box", "-", "Quit"}));
    trayShown = true;
    EXPECT_EQ(texts(), plain);
    trayShown = false;

    const auto menu = v.makeContextMenu();
    menu->actions().front()->trigger();
    EXPECT_EQ(opened, 1);
    // "Quit" ends the event loop with success; a guard ends it otherwise.
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    guard.start(5000);
    QTimer::singleShot(0, menu.get(), [&] { menu->actions().back()->trigger(); });
    EXPECT_EQ(QCoreApplication::exec(), 0);
}
