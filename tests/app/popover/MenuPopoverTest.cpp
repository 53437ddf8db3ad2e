#include "MenuPopover.hpp"

#include "Dot.hpp"
#include "LimitBar.hpp"
#include "LimitReadingsPrompt.hpp"
#include "PopoverSync.hpp"
#include "SegmentedControl.hpp"
#include "Sparkline.hpp"
#include "SyncFolder.hpp"
#include "TextLine.hpp"
#include "Theme.hpp"
#include "TipCard.hpp"
#include "ViewTestSupport.hpp"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

using namespace vellumkite;
using namespace vellumkite::testing;

namespace {

class MenuPopoverTest : public ViewTest {
protected:
    QStringList section(const MenuPopover& p, const char* name) {
        return visibleTexts(part(&p, name));
    }
    // Laid out and shown, as the tray opens it.
    static void open(MenuPopover& p) {
        p.adjustSize();
        p.show();
    }
};

} // namespace

TEST_F(MenuPopoverTest, BeforeTheFirstPassShowsWhatIsMissing) {
    // A fresh model whose first pass has not been delivered yet.
    const auto fresh = makeModel();
    MenuPopover p(*fresh);
    p.adjustSize();
    ASSERT_FALSE(fresh->loaded());

    EXPECT_EQ(p.width(), 320);
    EXPECT_FALSE(shows(&p, "fiveHourLimit"));
    EXPECT_FALSE(shows(&p, "weeklyLimit"));
    EXPECT_EQ(section(p, "limitsMessage"),
              QStringList({"Limits", "No limit reading yet. Turn on the Vellumkite status line to "
                                     "see your official 5-hour and weekly %."}));
    EXPECT_EQ(section(p, "chatSection"), QStringList({"This chat", "Reading your chats\u2026"}));
    EXPECT_FALSE(shows(&p, "tipCard"));
    EXPECT_TRUE(part(&p, "liveSection")->findChild<Sparkline*>()->values().empty());
    EXPECT_EQ(section(p, "topSection"),
              QStringList({"Using the most today", "Nothing yet today."}));
    EXPECT_EQ(section(p, "toolSection"),
              QStringList({"Top tool eaters today", "No tool use yet today."}));
    EXPECT_FALSE(shows(&p, "toolNote"));
    EXPECT_EQ(section(p, "footer"), QStringList({"Vellumkite"}));

    // Once the pass has published, the views follow without being asked.
    ASSERT_TRUE(waitUntil([&] { return fresh->loaded(); }));
    settle();
    EXPECT_EQ(section(p, "chatSection"), QStringList({"This chat", "No chats in the last week."}));
}

TEST_F(MenuPopoverTest, DemoDataFillsEverySection) {
    demo();
    MenuPopover p(*model);
    p.adjustSize();
    EXPECT_EQ(p.width(), 320);

    auto* five = part<LimitBar>(&p, "fiveHourLimit");
    auto* weekly = part<LimitBar>(&p, "weeklyLimit");
    ASSERT_TRUE(five && weekly);
    EXPECT_TRUE(five->isVisibleTo(&p) && weekly->isVisibleTo(&p));
    EXPECT_EQ(five->title(), "5-hour limit");
    EXPECT_EQ(LimitBar::detailText(five->window(), kNow), "34% \u00B7 resets in 2h 10m");
    EXPECT_EQ(weekly->title(), "Weekly limit");
    EXPECT_FALSE(shows(&p, "limitsMessage"));

    EXPECT_EQ(section(p, "chatSection"),
              QStringList({"This chat", "86k re-read every message", "my-app"}));
    EXPECT_EQ(part<QWidget>(&p, "chatRow")->findChild<Dot*>()->level(), Level::info);
    auto* card = part<TipCard>(&p, "tipCard");
    ASSERT_TRUE(card);
    EXPECT_TRUE(card->isVisibleTo(&p));
    EXPECT_FALSE(card->isCompact());
    EXPECT_EQ(card->tip().title, "Healthy chat size");

    EXPECT_EQ(section(p, "liveSection"), QStringList({"Live", "18k/min \u00B7 last 15 min"}));
    auto* spark = part(&p, "liveSection")->findChild<Sparkline*>();
    EXPECT_EQ(spark->values().size(), 30u);
    EXPECT_EQ(spark->height(), 32);

    EXPECT_EQ(section(p, "topSection"),
              QStringList({"Using the most today",                       //
                           "41%", "my-app", "42 msgs \u00B7 now",        //
                           "27%", "website", "63 msgs \u00B7 1h ago",    //
                           "14%", "api-server", "18 msgs \u00B7 3h ago", //
                           "6%", "notes", "9 msgs \u00B7 5h ago",        //
                           "12%", "Other chats"}));
    EXPECT_EQ(section(p, "toolSection"),
              QStringList({"Top tool eaters today",                                  //
                           "22%", "File reads", "118 calls \u00B7 310k added",       //
                           "11%", "Terminal commands", "64 calls \u00B7 140k added", //
                           "6%", "Web", "9 calls \u00B7 60k added",                  //
                           "Tool output stays in the chat and is re-read by every later "
                           "message. The rest of your usage is chat history and Claude's "
                           "writing."}));
    // The share column holds "100%" in its font, right-aligned, so the names line up.
    const auto rows = part(&p, "topSection")->findChildren<QWidget*>("topRow");
    ASSERT_GE(rows.size(), 2);
    const auto* share = rows[0]->findChild<TextLine*>();
    EXPECT_EQ(share->width(), Theme::columnWidth(share->textFont(), QStringLiteral("100%")));
    EXPECT_EQ(rows[1]->findChild<TextLine*>()->width(), share->width());
    EXPECT_EQ(rows[0]->findChildren<TextLine*>()[1]->x(),
              rows[1]->findChildren<TextLine*>()[1]->x());
}

TEST_F(MenuPopoverTest, LimitsShowOnlyTheWindowsThatArePresent) {
    MenuPopover p(*model);
    Snapshot s = emptyPass();
    s.limits = limits(std::nullopt, 18);
    publish(s);
    EXPECT_FALSE(shows(&p, "fiveHourLimit"));
    EXPECT_TRUE(shows(&p, "weeklyLimit"));
    EXPECT_FALSE(shows(&p, "limitsMessage"));

    // A reading without windows says the same as no reading.
    s.limits = limits(std::nullopt, std::nullopt);
    publish(s);
    EXPECT_FALSE(shows(&p, "weeklyLimit"));
    EXPECT_TRUE(shows(&p, "limitsMessage"));
}

TEST_F(MenuPopoverTest, TheKeptReadingsAddTheChatsShareAndTheFullTime) {
    MenuPopover p(*model);
    Snapshot s = emptyPass();
    s.limits = limits(62, 18);
    s.currentChat = chat("a", "/p/vellumkite", 212000, 30);
    publish(s);
    EXPECT_FALSE(shows(&p, "chatShare")) << "not known yet";
    EXPECT_FALSE(shows(&p, "fiveHourFull"));
    EXPECT_FALSE(shows(&p, "weeklyFull"));

    s.percentPerMessage = 0.94;
    s.projections = {{"five_hour", 62, kNow - 2min, kNow + 2h + 10min, kNow + 1h + 25min},
                     {"seven_day", 18, kNow - 2min, kNow + 99h, std::nullopt}};
    publish(s);
    ASSERT_TRUE(shows(&p, "chatShare"));
    EXPECT_EQ(part<TextLine>(&p, "chatShare")->text(),
              QStringLiteral("\u2248 0.9 % of your 5-hour limit per message"));
    ASSERT_TRUE(shows(&p, "fiveHourFull"));
    const auto* full = part<TextLine>(&p, "fiveHourFull");
    EXPECT_EQ(full->text(),
              QStringLiteral("full at ") + QString::fromStdString(model->timeOfDay(kNow + 85min)));
    EXPECT_EQ(full->textColor(), Theme::levelTextColor(Level::alert, full->palette()));
    EXPECT_FALSE(shows(&p, "weeklyFull")) << "the week resets first";

    // Without a chat there is no message to tell the share of.
    s.currentChat.reset();
    publish(s);
    EXPECT_FALSE(shows(&p, "chatShare"));
}

TEST_F(MenuPopoverTest, SharesRatesAndLevels) {
    MenuPopover p(*model);
    Snapshot s = emptyPass();
    // A day lighter than 1 still divides by 1: half a unit is 50 %, not 100 %.
    s.todayWeight = 0.5;
    s.topChats = {chat("a", "/x/tiny", 1000, 0.5)};
    s.currentChat = chat("b", "/x/huge/", 300000, 1);
    s.burnPerMin = 999.9;
    publish(s);
    EXPECT_EQ(section(p, "topSection")[1], "50%");
    EXPECT_FALSE(shows(&p, "topRowRest")) << "the one chat is the whole day";
    EXPECT_EQ(section(p, "liveSection")[1], "999/min \u00B7 last 15 min");
    // At the hard threshold the dot turns red; a trailing slash does not hide the project.
    EXPECT_EQ(section(p, "chatSection"),
              QStringList({"This chat", "300k re-read every message", "huge"}));
    EXPECT_EQ(part(&p, "chatRow")->findChild<Dot*>()->level(), Level::alert);

    s.currentChat = chat("b", "/x/huge", 150000, 1);
    s.burnPerMin = std::numeric_limits<double>::infinity();
    // A long name is cut off rather than widening the popover.
    s.topChats = {chat("a", "/p/" + std::string(200, 'x'), 1000, 1)};
    s.todayWeight = 4;
    publish(s);
    EXPECT_EQ(visibleTexts(part(&p, "topRowRest")), QStringList({"75%", "Other chats"}));
    EXPECT_EQ(part(&p, "chatRow")->findChild<Dot*>()->level(), Level::warn);
    EXPECT_EQ(section(p, "liveSection")[1], "\u2014/min \u00B7 last 15 min");
    open(p);
    EXPECT_EQ(p.width(), 320);
    const auto* name =
        part(&p, "topSection")->findChild<QWidget*>("topRow")->findChildren<TextLine*>()[1];
    EXPECT_LE(name->geometry().right(), 320 - 16);
    EXPECT_TRUE(name->displayedLines().front().endsWith(QChar(0x2026)));
}

TEST_F(MenuPopoverTest, SettingsWriteTheModelAndShowItsState) {
    model->setShowBox(false);
    model->setBoxSize(BoxSize::large);
    MenuPopover p(*model);
    open(p);
    auto* toggle = part<QCheckBox>(&p, "showBoxToggle");
    auto* picker = part<SegmentedControl>(&p, "sizePicker");
    ASSERT_TRUE(toggle && picker);
    EXPECT_TRUE(picker->fits()) << "every size in full";
    EXPECT_EQ(picker->options(), QStringList({"Small", "Medium", "Large"}));

    // Off: the picker is greyed out and inert, but still shows the stored size.
    EXPECT_FALSE(toggle->isChecked());
    EXPECT_FALSE(picker->isEnabled());
    EXPECT_EQ(picker->currentIndex(), 2);
    QTest::mouseClick(picker, Qt::LeftButton, {}, picker->segmentRect(0).center().toPoint());
    EXPECT_EQ(model->boxSize(), BoxSize::large);

    toggle->click();
    settle();
    EXPECT_TRUE(model->showBox());
    EXPECT_EQ(prefs.value("showFloatingBox"), QVariant(true));
    EXPECT_TRUE(picker->isEnabled());
    QTest::mouseClick(picker, Qt::LeftButton, {}, picker->segmentRect(0).center().toPoint());
    settle();
    EXPECT_EQ(model->boxSize(), BoxSize::small);
    EXPECT_EQ(prefs.value("floatingBoxSize"), QVariant(QStringLiteral("small")));

    // A change made elsewhere shows in the controls.
    model->setShowBox(false);
    settle();
    EXPECT_FALSE(toggle->isChecked());
    EXPECT_FALSE(picker->isEnabled());
    EXPECT_EQ(picker->currentIndex(), 0);
}

TEST_F(MenuPopoverTest, OpenAtLoginShowsWhatTheDesktopReallyHas) {
    MenuPopover p(*model);
    auto* login = part<QCheckBox>(&p, "loginToggle");
    ASSERT_TRUE(login);
    EXPECT_FALSE(login->isChecked());
    login->click();
    settle();
    EXPECT_TRUE(login->isChecked());
    EXPECT_TRUE(std::filesystem::exists(dir / "autostart" / "vellumkite.desktop"));

    // The entry removed behind the app's back: the next refill shows it off.
    std::filesystem::remove(dir / "autostart" / "vellumkite.desktop");
    publish(emptyPass());
    EXPECT_FALSE(login->isChecked());
}

namespace {

// Answers each modal message box as it opens, in turn: the box's text and informative text are
// recorded, then the reply clicks one of its buttons.
class DialogAnswers : public QObject {
public:
    using Reply = std::function<void(QMessageBox*)>;
    explicit DialogAnswers(std::vector<Reply> replies) : m_replies(std::move(replies)) {
        m_timer.setInterval(10);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || box == m_last || m_replies.empty())
                return;
            m_last = box;
            texts << box->text() + QStringLiteral("\n") + box->informativeText();
            const Reply reply = m_replies.front();
            m_replies.erase(m_replies.begin());
            reply(box);
        });
        m_timer.start();
    }
    QStringList texts;

private:
    std::vector<Reply> m_replies;
    QMessageBox* m_last = nullptr;
    QTimer m_timer;
};

void cancel(QMessageBox* box) {
    box->button(QMessageBox::Cancel)->click();
}
void confirm(QMessageBox* box) {
    box->findChild<QPushButton*>(QStringLiteral("confirmButton"))->click();
}
void ok(QMessageBox* box) {
    box->button(QMessageBox::Ok)->click();
}

} // namespace

TEST_F(MenuPopoverTest, TheButtonTurnsOnTheLimitReadingsAfterShowingTheChange) {
    const auto settings = dir / "claude/settings.json";
    const std::string before = "{\n  \"model\": \"opus\"\n}\n";
    writeFile(settings, before);
    MenuPopover p(*model);
    auto* prompt = part<LimitReadingsPrompt>(&p, "limitsMessage");
    ASSERT_TRUE(prompt);
    prompt->setProgram(VELLUMKITE_STATUSLINE_PATH);
    open(p);
    auto* button = part<QPushButton>(&p, "turnOnLimitsButton");
    ASSERT_TRUE(button && button->isVisible());
    EXPECT_EQ(button->text(), "Turn on limit readings");

    {
        // The dialog as users see it, beside the views' pictures.
        DialogAnswers answers({[](QMessageBox* box) {
            QDir shots(qEnvironmentVariableIsSet("VELLUMKITE_SHOTS")
                           ? qEnvironmentVariable("VELLUMKITE_SHOTS")
                           : QStringLiteral(VELLUMKITE_DEFAULT_SHOTS));
            shots.mkpath(QStringLiteral("views"));
            box->grab().save(shots.filePath(QStringLiteral("views/limits-confirm.png")));
            cancel(box);
        }});
        button->click();
        ASSERT_EQ(answers.texts.size(), 1);
        EXPECT_TRUE(answers.texts[0].contains("\"statusLine\" will be added:\n  {\n    \"type\": "
                                              "\"command\",\n    \"command\": \"" +
                                              QString(VELLUMKITE_STATUSLINE_PATH) + "\"\n  }"))
            << answers.texts[0].toStdString();
        EXPECT_EQ(readFile(settings), before);
        EXPECT_TRUE(button->isVisible());
    }
    {
        DialogAnswers answers({confirm, ok});
        button->click();
        ASSERT_EQ(answers.texts.size(), 2);
        EXPECT_EQ(answers.texts[1], "Limit readings arrive with the assistant's next reply.\n");
    }
    const std::string after = readFile(settings);
    EXPECT_NE(after.find("\"command\": \"" + std::string(VELLUMKITE_STATUSLINE_PATH) + "\""),
              std::string::npos)
        << after;
    EXPECT_EQ(after.find("\"model\": \"opus\""), before.find("\"model\": \"opus\""));
    EXPECT_FALSE(button->isVisible());
    EXPECT_EQ(section(p, "limitsMessage"), QStringList({"Limits", LimitReadingsPrompt::onText()}));

    // Another popover finds it on; a file it must not edit gets a warning and stays as it was.
    MenuPopover second(*model);
    second.show();
    EXPECT_FALSE(shows(&second, "turnOnLimitsButton"));
    writeFile(settings, "{\"model\": ");
    prompt->refresh();
    ASSERT_TRUE(button->isVisible());
    DialogAnswers answers({ok});
    button->click();
    ASSERT_EQ(answers.texts.size(), 1);
    EXPECT_TRUE(answers.texts[0].contains("is not valid JSON")) << answers.texts[0].toStdString();
    EXPECT_EQ(readFile(settings), "{\"model\": ");
}

TEST_F(MenuPopoverTest, SyncIsChosenHereAndListsTheMachinesFound) {
    MenuPopover p(*model);
    open(p);
    auto* setting = part<PopoverSync>(&p, "syncSetting");
    auto* choose = part<QToolButton>(&p, "syncChoose");
    ASSERT_TRUE(setting && choose);
    EXPECT_EQ(section(p, "syncSetting"), QStringList({"Sync: off"}));
    EXPECT_EQ(choose->text(), QStringLiteral("Choose folder\u2026"));
    EXPECT_FALSE(shows(&p, "syncOff"));

    // A folder that is not there is refused with the reason, and nothing is saved.
    QString offered;
    setting->setChooser([&](const QString& start) {
        offered = start;
        return QString::fromStdString((dir / "missing").string());
    });
    choose->click();
    settle();
    EXPECT_EQ(offered, QDir::homePath());
    EXPECT_FALSE(prefs.value("syncFolder").isValid());
    EXPECT_TRUE(part<TextLine>(&p, "syncProblem")->text().contains("does not exist"));
    EXPECT_TRUE(shows(&p, "syncProblem"));

    // One that is: the next pass publishes this machine's file there and lists it.
    const auto folder = dir / "Sync";
    std::filesystem::create_directories(folder);
    setting->setChooser([&](const QString&) { return QString::fromStdString(folder.string()); });
    choose->click();
    EXPECT_EQ(prefs.value("syncFolder"), QVariant(QString::fromStdString(folder.string())));
    ASSERT_TRUE(waitUntil([&] { return !model->sync().machines.empty(); }));
    settle();
    EXPECT_FALSE(shows(&p, "syncProblem"));
    EXPECT_TRUE(shows(&p, "syncOff"));
    EXPECT_EQ(part<QToolButton>(&p, "syncChoose")->text(), QStringLiteral("Change\u2026"));
    const QString machines = part<TextLine>(&p, "syncMachines")->text();
    EXPECT_TRUE(machines.contains("(this machine) \u00b7 published now")) << machines.toStdString();
    std::size_t files = 0;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        files += SyncFolder::machineOf(e.path().filename().string()) ? 1 : 0;
    EXPECT_EQ(files, 1u);
    p.adjustSize();
    savePicture(p, QStringLiteral("views/popover-sync"), false);

    part<QToolButton>(&p, "syncOff")->click();
    ASSERT_TRUE(waitUntil([&] { return model->sync().folder.empty(); }));
    settle();
    EXPECT_EQ(prefs.value("syncFolder"), QVariant(QString()));
    EXPECT_EQ(section(p, "syncSetting"), QStringList({"Sync: off"}));
    EXPECT_FALSE(shows(&p, "syncMachines"));
}
