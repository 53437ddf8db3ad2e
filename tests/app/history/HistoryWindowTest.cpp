// The History window with the demo's 30 days, an empty history and an import under way, in both
// palettes; the pictures go to $VELLUMKITE_SHOTS/views like the other views'.
#include "HistoryWindow.hpp"

#include "DemoHistory.hpp"
#include "HistoryChart.hpp"
#include "HistoryPresenter.hpp"
#include "LimitPeaksChart.hpp"
#include "LogLines.hpp"
#include "MenuPopover.hpp"
#include "SegmentedControl.hpp"
#include "Theme.hpp"
#include "ViewTestSupport.hpp"
#include "WeekLinesChart.hpp"

#include <algorithm>
#include <QFontMetricsF>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

using namespace vellumkite;
using namespace vellumkite::testing;

namespace {

class HistoryWindowTest : public ::testing::TestWithParam<bool> {
protected:
    HistoryWindow window;

    QImage save(const QString& name) {
        window.setPalette(palette(GetParam()));
        window.resize(window.sizeHint());
        window.show();
        settle();
        return savePicture(window, QStringLiteral("views/") + name, GetParam());
    }
};

} // namespace

TEST_P(HistoryWindowTest, ShowsTheDemoEmptyAndImportingStates) {
    const HistoryOverview demo = DemoHistory::overview(kNow);
    window.setHistory(demo, {});
    save(QStringLiteral("history-demo"));
    const QStringList texts = visibleTexts(&window);
    EXPECT_TRUE(texts.contains(QStringLiteral("On pace to hit the weekly limit at Fri 4:00 PM")));
    EXPECT_TRUE(texts.contains(QStringLiteral("vellumkite"))) << "projects by their last name";
    EXPECT_TRUE(texts.contains(QStringLiteral("Median day 1.5M")));
    EXPECT_FALSE(shows(&window, "historyStatus"));

    window.setHistory(std::nullopt, {});
    save(QStringLiteral("history-empty"));
    EXPECT_TRUE(visibleTexts(&window).contains(QStringLiteral("No history yet")));
    EXPECT_FALSE(window.measureControl()->isEnabled());

    HistoryOverview part = demo;
    for (std::size_t i = 0; i < 20; ++i)
        part.days[i] = HistoryOverview::Day{part.days[i].date, {}, {}, true, {}, {}};
    window.setHistory(part, {true, 0.4, {}});
    save(QStringLiteral("history-importing"));
    EXPECT_EQ(window.statusText(), QStringLiteral("Reading older logs\u2026 40%"));
    EXPECT_TRUE(shows(&window, "historyStatus"));

    window.setHistory(std::nullopt, {false, std::nullopt,
                                     "History is off: the database was "
                                     "written by a newer version."});
    EXPECT_EQ(window.statusText().left(15), QStringLiteral("History is off:"));
}

TEST_P(HistoryWindowTest, TheLimitsPartShowsWhatTheReadingsTell) {
    HistoryOverview o = DemoHistory::overview(kNow);
    window.setHistory(o, {});
    QStringList texts = visibleTexts(&window);
    EXPECT_TRUE(texts.contains(
        QStringLiteral("One percent of the 5-hour limit: 2,190 weight \u00b7 $0.0066 (42 spans)")));
    EXPECT_TRUE(texts.contains(
        QStringLiteral("One percent of the weekly limit: 18,400 weight \u00b7 $0.055 (63 spans)")));
    // Every window and week is there for the ear too, one line each.
    const auto* peaks = part<LimitPeaksChart>(&window, "fiveHourPeaks");
    EXPECT_EQ(peaks->accessibleDetail().split(QLatin1Char('\n')).size(),
              static_cast<qsizetype>(o.limits->fiveHour.size()));
    EXPECT_EQ(part<WeekLinesChart>(&window, "weeklyLines")->accessibleText(),
              QStringLiteral("Weekly limit over the last 4 weeks"));
    // The window opens as large as without them; they are scrolled to.
    HistoryOverview without = o;
    without.limits.reset();
    const int height = window.sizeHint().height();
    window.setHistory(without, {});
    EXPECT_EQ(window.sizeHint().height(), height);
    window.setHistory(o, {});
    window.setPalette(palette(GetParam()));
    window.resize(window.sizeHint());
    window.show();
    settle();
    EXPECT_FALSE(inView(part(&window, "fiveHourPeaks")));
    QScrollBar* bar = window.findChild<QScrollArea*>()->verticalScrollBar();
    bar->setValue(bar->maximum());
    settle();
    EXPECT_TRUE(inView(part(&window, "fiveHourPeaks")));
    EXPECT_TRUE(inView(part(&window, "weeklyCost")));
    savePicture(window, QStringLiteral("views/history-limits"), GetParam());

    o.limits->weeklyCalibration = {1, 2, 5000, std::nullopt};
    window.setHistory(o, {});
    EXPECT_TRUE(visibleTexts(&window).contains(
        QStringLiteral("One percent of the weekly limit: not known yet (1 span; it takes 3)")));

    o.limits.reset();
    window.setHistory(o, {});
    EXPECT_FALSE(shows(&window, "fiveHourPeaks"));
    EXPECT_FALSE(shows(&window, "fiveHourCost"));
    texts = visibleTexts(&window);
    EXPECT_TRUE(std::any_of(texts.begin(), texts.end(), [](const QString& t) {
        return t.startsWith(QStringLiteral("No limit readings yet."));
    }));
}

TEST(LimitChartsTest, BarsAndLinesStandWhereTheReadingsSay) {
    // Seven days across 700 pixels, 100 % up 100: a window from a day in to five hours later at
    // 50 %, one cut at the top at 120 %, one still under way at the right edge.
    LimitOverview o;
    o.from = kNow - 7 * 24h;
    o.to = kNow;
    o.fiveHour = {{o.from + 24h, o.from + 29h, 50},
                  {o.from + 48h, o.from + 53h, 120},
                  {kNow - 2h, kNow + 3h, 10}};
    const QRectF plot(0, 0, 700, 100);
    const auto bars = LimitPeaksChart::bars(plot, o);
    ASSERT_EQ(bars.size(), 3u);
    EXPECT_DOUBLE_EQ(bars[0].left(), 100);
    EXPECT_DOUBLE_EQ(bars[0].width(), 100 * 5.0 / 24 - 1);
    EXPECT_DOUBLE_EQ(bars[0].top(), 50);
    EXPECT_DOUBLE_EQ(bars[1].top(), 0);
    EXPECT_DOUBLE_EQ(bars[2].left(), 700 - 100 * 2.0 / 24);
    EXPECT_DOUBLE_EQ(bars[2].right(), 700 - 1);

    // A week from its start to its reset across the width: halfway at 50 %, the end at 150 %,
    // which raises the scale to 150.
    LimitOverview::Week week{kNow - 7 * 24h, kNow, {}};
    week.readings = {{week.start + 84h, 50, kNow}, {kNow, 150, kNow}};
    o.weeks = {week};
    const auto lines = WeekLinesChart::lines(plot, o);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].size(), 2);
    EXPECT_DOUBLE_EQ(lines[0][0].x(), 350);
    EXPECT_NEAR(lines[0][0].y(), 100 - 100 * 50 / 150.0, 1e-9);
    EXPECT_EQ(lines[0][1], QPointF(700, 0));
}

TEST_P(HistoryWindowTest, SwitchesMeasureAndClosesOnEscape) {
    window.setHistory(DemoHistory::overview(kNow), {});
    window.show();
    settle();
    QSignalSpy visible(&window, &HistoryWindow::visibilityChanged);
    auto* control = window.measureControl();
    QTest::mouseClick(control, Qt::LeftButton, {}, control->segmentRect(1).center().toPoint());
    EXPECT_EQ(window.chart()->measure(), HistoryChart::Measure::cost);
    EXPECT_TRUE(visibleTexts(&window).contains(QStringLiteral("Median day $3.60")));
    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_FALSE(window.isVisible());
    ASSERT_EQ(visible.count(), 1);
    EXPECT_EQ(visible.at(0).at(0).toBool(), false);
}

TEST_P(HistoryWindowTest, OffersThisMachineAloneOnlyWhileThereAreOtherMachines) {
    auto overview = DemoHistory::overview(kNow);
    window.setHistory(overview, {});
    window.show();
    settle();
    auto* machines = window.machinesControl();
    EXPECT_FALSE(machines->isVisibleTo(&window)) << "one machine: nothing to choose";
    overview.otherMachines = 2;
    window.setHistory(overview, {});
    settle();
    ASSERT_TRUE(machines->isVisibleTo(&window));
    EXPECT_EQ(machines->options(), QStringList({"All machines", "This machine"}));
    EXPECT_TRUE(machines->fits());
    savePicture(window, QStringLiteral("views/history-machines"), GetParam());
    QSignalSpy chosen(&window, &HistoryWindow::allMachinesChosen);
    QTest::mouseClick(machines, Qt::LeftButton, {}, machines->segmentRect(1).center().toPoint());
    ASSERT_EQ(chosen.count(), 1);
    EXPECT_FALSE(chosen.at(0).at(0).toBool());
    // This machine's figures alone keep the way back to every machine's.
    overview.otherMachines = 0;
    window.setHistory(overview, {});
    EXPECT_TRUE(machines->isVisibleTo(&window));
}

TEST_P(HistoryWindowTest, ReadsInFullAtANarrowWidthAndListsLineUp) {
    HistoryOverview o = DemoHistory::overview(kNow);
    // One project fewer than the month had: the rest gets a row, so that the shares add up.
    o.topProjects.pop_back();
    window.setHistory(o, {});
    window.resize(Theme::scaledWidth(480), Theme::scaledWidth(600));
    window.show();
    settle();
    EXPECT_EQ(cutTexts(&window).join(u'|').toStdString(), "");

    // The comparison with last week wraps instead of losing its end.
    const auto texts = window.findChildren<TextLine*>();
    const auto change = std::find_if(texts.begin(), texts.end(), [](const TextLine* t) {
        return t->text().contains(QStringLiteral("against last week"));
    });
    ASSERT_NE(change, texts.end());
    EXPECT_GT((*change)->displayedLines().size(), 1);
    EXPECT_EQ((*change)->displayedLines().join(u' '), (*change)->text());

    // Models by family and version; the id stays in the tooltip.
    const auto byText = [&](const QString& text) -> const TextLine* {
        for (const TextLine* t : texts)
            if (t->text() == text && t->isVisibleTo(&window))
                return t;
        return nullptr;
    };
    const TextLine* sonnet = byText(QStringLiteral("Sonnet 4.5"));
    ASSERT_TRUE(sonnet);
    EXPECT_EQ(sonnet->toolTip(), QStringLiteral("claude-sonnet-4-5-20250929"));
    ASSERT_TRUE(byText(QStringLiteral("claude-future-9")));

    ASSERT_TRUE(byText(QStringLiteral("Other projects")));
    EXPECT_TRUE(byText(QStringLiteral("8%")));
    EXPECT_FALSE(byText(QStringLiteral("Other models"))) << "the four models are the whole month";

    // Row by row, the two lists stand at the same heights.
    const TextLine* firstProject = byText(QStringLiteral("vellumkite"));
    const TextLine* secondProject = byText(QStringLiteral("website"));
    const TextLine* secondModel = byText(QStringLiteral("Opus 4.5"));
    ASSERT_TRUE(firstProject && secondProject && secondModel);
    EXPECT_EQ(sonnet->mapTo(&window, QPoint()).y(), firstProject->mapTo(&window, QPoint()).y());
    EXPECT_EQ(secondModel->mapTo(&window, QPoint()).y(),
              secondProject->mapTo(&window, QPoint()).y());
}

// Its size is known before it first shows, so that the presenter can open it at that size.
TEST_P(HistoryWindowTest, KnowsItsSizeBeforeItShows) {
    window.setHistory(DemoHistory::overview(kNow), {});
    const QSize before = window.sizeHint();
    window.resize(before);
    window.show();
    settle();
    EXPECT_EQ(window.sizeHint(), before);
}

INSTANTIATE_TEST_SUITE_P(Palettes, HistoryWindowTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Dark" : "Light"; });

TEST(HistoryChartTest, TheScaleIsAsWideAsItsWidestValueAndASpikeIsClipped) {
    HistoryChart chart;
    chart.resize(600, 220);
    std::vector<HistoryOverview::Day> days(30);
    for (std::size_t i = 0; i < days.size(); ++i)
        days[i].cost = {1.0 + static_cast<double>(i % 5), 0, 0, 0};
    days[12].cost = {486.89, 0, 0, 0}; // one day far above the others
    days[12].weight = {1, 0, 0, 0};
    chart.setDays(days, 0, 3);
    chart.setMeasure(HistoryChart::Measure::cost);

    const auto cols = HistoryChart::columns(chart.plotArea(), days, HistoryChart::Measure::cost);
    EXPECT_TRUE(cols[12].clipped);
    EXPECT_DOUBLE_EQ(cols[12].segments.back().rect.top(), chart.plotArea().top());
    // The others keep their height: the busiest of them reaches two thirds of the chart.
    EXPECT_NEAR(cols[4].segments.back().rect.height(), chart.plotArea().height() * 2 / 3, 0.01);
    EXPECT_FALSE(cols[4].clipped);

    // With nothing clipped the scale reads the largest day, and its label fits beside the bars.
    days[12].cost = {486.89, 400, 0, 0};
    days[13].cost = {486.89, 0, 0, 0};
    chart.setDays(days, 0, 3);
    const QFontMetricsF caption(Theme::caption());
    EXPECT_GE(chart.plotArea().left(), caption.horizontalAdvance(QStringLiteral("$886.89")));
}

TEST(HistoryChartTest, StacksFamiliesAgainstTheBusiestDayTodayAtTheRight) {
    std::vector<HistoryOverview::Day> days(3);
    days[0].weight = {100, 300, 0, 0};
    days[2].weight = {0, 50, 50, 0};
    const auto cols =
        HistoryChart::columns(QRectF(0, 0, 300, 100), days, HistoryChart::Measure::weight);
    ASSERT_EQ(cols.size(), 3u);
    ASSERT_EQ(cols[0].segments.size(), 2u);
    EXPECT_EQ(cols[0].segments[0].family, HistoryOverview::Family::opus);
    EXPECT_DOUBLE_EQ(cols[0].segments[0].rect.height(), 25);
    EXPECT_DOUBLE_EQ(cols[0].segments[1].rect.bottom(), cols[0].segments[0].rect.top());
    EXPECT_DOUBLE_EQ(cols[0].segments[1].rect.top(), 0) << "the busiest day fills the height";
    EXPECT_TRUE(cols[1].segments.empty());
    EXPECT_DOUBLE_EQ(cols[2].segments.back().rect.top(), 75);
    EXPECT_GT(cols[2].slot.left(), cols[0].slot.left());

    days[2].date = *LocalDate::parse("2026-12-01");
    days[2].usage.input = 1200;
    days[2].usage.replies = 2;
    days[2].cost = {0, 0.25, 0.05, 0};
    days[2].models = {"claude-sonnet-4-5", "claude-haiku-4-5"};
    const QString tip = HistoryChart::dayText(days[2]);
    EXPECT_TRUE(tip.contains(QStringLiteral("1k tokens"))) << tip.toStdString();
    EXPECT_TRUE(tip.contains(QStringLiteral("$0.30")));
    EXPECT_TRUE(tip.contains(QStringLiteral("claude-sonnet-4-5, claude-haiku-4-5")));
    days[2].costComplete = false;
    EXPECT_FALSE(HistoryChart::dayText(days[2]).contains(QStringLiteral("$")));
}

using HistoryPresenterTest = ViewTest;

TEST_F(HistoryPresenterTest, ThePopoversButtonOpensOneWindowThatKeepsItsPlace) {
    demo();
    HistoryPresenter presenter(*model);
    MenuPopover popover(*model);
    auto* button = part<QToolButton>(&popover, "historyButton");
    ASSERT_TRUE(button);
    QTest::mouseClick(button, Qt::LeftButton);
    settle();
    HistoryWindow* window = presenter.window();
    ASSERT_TRUE(window);
    EXPECT_TRUE(window->isVisible());
    ASSERT_TRUE(window->overview()) << "the demo's days";
    EXPECT_EQ(window->overview()->days.size(), 30u);

    // Asked again: the same window, raised.
    QTest::mouseClick(button, Qt::LeftButton);
    settle();
    EXPECT_EQ(presenter.window(), window);

    window->setGeometry(100, 120, 700, 500);
    QTest::keyClick(window, Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(model->historyGeometry(), QRect(100, 120, 700, 500));
    EXPECT_EQ(prefs.value("historyWindowGeometry"), QVariant(QStringLiteral("100, 120, 700, 500")));

    // A new start puts it back there.
    HistoryPresenter later(*model);
    model->openHistory();
    settle();
    ASSERT_TRUE(later.window());
    EXPECT_EQ(later.window()->geometry(), QRect(100, 120, 700, 500));
}

TEST_F(HistoryPresenterTest, ModelsWithoutAPriceAreNamedUntilTheUsersBookHasThem) {
    Reply priced;
    priced.messageId = "m1";
    priced.timestamp = Timestamp::format(kNow - std::chrono::hours(1));
    priced.model = "claude-3-7-sonnet";
    priced.input = 1'000'000;
    priced.output = 0;
    Reply unknown = priced;
    unknown.messageId = "m2";
    unknown.model = "claude-future-9";
    writeFile(dir / "projects/p/s.jsonl", replyLine(priced) + "\n" + replyLine(unknown) + "\n");
    model->refresh();
    HistoryPresenter presenter(*model);
    const auto shown = [&](bool unpriced) {
        return waitUntil(
            [&] {
                const auto* w = presenter.window();
                return w && w->overview() && !w->overview()->empty() &&
                       w->overview()->unpricedModels.empty() != unpriced;
            },
            5000);
    };
    model->openHistory();
    ASSERT_TRUE(shown(true));
    settle();
    HistoryWindow* window = presenter.window();
    const QString texts = visibleTexts(window).join(QLatin1Char('\n'));
    // The week's cost is the part with a price, and says what it leaves out.
    EXPECT_TRUE(texts.contains(QStringLiteral("$3.00 + 1 model without a price")))
        << texts.toStdString();
    EXPECT_TRUE(texts.contains(QStringLiteral("1 model without a price (claude-future-9): costs "
                                              "show the part with a price. Add theirs with "
                                              "\"vellumkite-cli prices import FILE\".")));
    EXPECT_TRUE(shows(window, "unpriced"));

    // The user's book gives it a price (and a family): the window shows it when next opened.
    writeFile(dir / "config/Vellumkite/prices.json",
              R"({"models": {"claude-future-9": {"family": "Opus", "input": 2, "output": 10}}})");
    window->close();
    settle();
    model->openHistory();
    ASSERT_TRUE(shown(false));
    settle();
    EXPECT_FALSE(shows(window, "unpriced"));
    EXPECT_TRUE(visibleTexts(window).join(QLatin1Char('\n')).contains(QStringLiteral("$5.00")));
    const auto& models = window->overview()->topModels;
    ASSERT_EQ(models.size(), 2u);
    EXPECT_EQ(models[0].family, "Sonnet");
    EXPECT_EQ(models[1].family, "Opus");
}
