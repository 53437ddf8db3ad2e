#include "FloatingBox.hpp"

#include "FloatingBoxHandler.hpp"
#include "FloatingBoxView.hpp"
#include "ViewTestSupport.hpp"

#include <QGuiApplication>
#include <QScreen>
#include <QTest>

using namespace vellumkite;
using namespace vellumkite::testing;

namespace {

// The offscreen platform has one 800 × 800 screen, all of it available.
class FloatingBoxTest : public ViewTest {
protected:
    void SetUp() override {
        ViewTest::SetUp();
        ASSERT_EQ(QGuiApplication::primaryScreen()->availableGeometry(), QRect(0, 0, 800, 800));
    }

    QVariant stored() const { return prefs.value(PreferenceKeys::boxTopLeft.name); }
    // Waits for the corner to be saved, which happens once the moves have stopped.
    bool storedBecomes(const char* corner) const {
        return waitUntil([&] { return stored() == QVariant(QString::fromLatin1(corner)); });
    }
    qsizetype cornerWrites() const {
        qsizetype n = 0;
        for (const auto& [key, value] : prefs.writes())
            n += key == QLatin1String(PreferenceKeys::boxTopLeft.name);
        return n;
    }
};

} // namespace

TEST_F(FloatingBoxTest, FirstShowGoesTopRightAndStoresNothing) {
    FloatingBox box(*model);
    box.present();
    const QSize size = box.view()->fittingSize();
    EXPECT_EQ(box.geometry(), QRect(800 - size.width() - 12, 8, size.width(), size.height()));
    EXPECT_FALSE(stored().isValid());

    // A move once the box is drawn is remembered; one while hidden is not.
    settle();
    box.move(100, 150);
    EXPECT_TRUE(storedBecomes("{100, 150}"));
    box.hide();
    box.move(300, 300);
    waitUntil([] { return false; }, 2 * FloatingBox::kSaveDelayMs);
    EXPECT_EQ(stored(), QVariant(QStringLiteral("{100, 150}")));
    EXPECT_EQ(model->boxTopLeft(), QPointF(100, 150));
}

TEST_F(FloatingBoxTest, ADragIsSavedOnceWhenItEndsOrTheBoxHides) {
    FloatingBox box(*model);
    box.present();
    settle();
    for (int x = 100; x < 200; x += 10) {
        box.move(x, 120);
        settle();
    }
    EXPECT_EQ(cornerWrites(), 0);
    EXPECT_TRUE(storedBecomes("{190, 120}"));
    EXPECT_EQ(cornerWrites(), 1);

    // Hidden before the moves have stopped: saved as it goes.
    box.move(30, 40);
    settle();
    box.hide();
    EXPECT_EQ(stored(), QVariant(QStringLiteral("{30, 40}")));
    EXPECT_EQ(cornerWrites(), 2);

    // Closed with the program right after a drag: saved too.
    {
        FloatingBox other(*model);
        other.present();
        settle();
        other.move(60, 70);
        settle();
    }
    EXPECT_EQ(stored(), QVariant(QStringLiteral("{60, 70}")));
}

TEST_F(FloatingBoxTest, PlacementByTheWindowManagerBeforeTheFirstPaintIsUndone) {
    model->setBoxTopLeft(QPointF(200, 300));
    FloatingBox box(*model);
    box.present();
    // A window manager that puts a new tool window at its group's origin and says so before
    // the window is first drawn; meanwhile new figures change the box's height.
    box.move(0, 0);
    model->setBoxSize(BoxSize::large);
    settle();
    EXPECT_EQ(box.pos(), QPoint(200, 300));
    EXPECT_EQ(box.size(), box.view()->fittingSize());
    waitUntil([] { return false; }, 2 * FloatingBox::kSaveDelayMs);
    EXPECT_EQ(model->boxTopLeft(), QPointF(200, 300));

    // Hidden and shown again, the same holds.
    box.hide();
    box.present();
    box.move(0, 0);
    settle();
    EXPECT_EQ(box.pos(), QPoint(200, 300));
    // Once drawn, a move is the user's.
    box.move(10, 20);
    settle();
    EXPECT_EQ(box.pos(), QPoint(10, 20));
    EXPECT_TRUE(storedBecomes("{10, 20}"));
}

TEST_F(FloatingBoxTest, ReopensAtTheStoredCornerKeptOnScreen) {
    // Stored by an earlier run.
    ASSERT_TRUE(prefs.setValue(PreferenceKeys::boxTopLeft.name, QStringLiteral("{200, 300}")));
    model = makeModel();
    {
        FloatingBox box(*model);
        box.present();
        EXPECT_EQ(box.pos(), QPoint(200, 300));
    }
    // Partly off the right edge: pulled back in.
    model->setBoxTopLeft(QPointF(700, 300));
    {
        FloatingBox box(*model);
        box.present();
        EXPECT_EQ(box.pos(), QPoint(800 - box.width(), 300));
    }
    // On no screen at all: the default place.
    model->setBoxTopLeft(QPointF(5000, 5000));
    {
        FloatingBox box(*model);
        box.present();
        EXPECT_EQ(box.pos(), QPoint(800 - box.width() - 12, 8));
    }
}

TEST_F(FloatingBoxTest, RefitsOnModelChangesFromAFixedTopLeft) {
    FloatingBox box(*model);
    model->setBoxSize(BoxSize::small);
    box.present();
    settle();
    box.move(50, 60);
    ASSERT_TRUE(storedBecomes("{50, 60}"));
    const QSize small = box.size();

    model->setBoxSize(BoxSize::large);
    settle();
    EXPECT_EQ(box.pos(), QPoint(50, 60));
    EXPECT_EQ(box.width(), 380);
    EXPECT_GT(box.height(), small.height());
    EXPECT_EQ(box.size(), box.view()->fittingSize());

    // New figures may change the height; the top-left corner stays. The same figures again
    // change nothing and store nothing.
    model->loadDemo();
    settle();
    EXPECT_EQ(box.pos(), QPoint(50, 60));
    const QRect demo = box.geometry();
    const qsizetype writes = cornerWrites();
    model->loadDemo();
    waitUntil([] { return false; }, 2 * FloatingBox::kSaveDelayMs);
    EXPECT_EQ(box.geometry(), demo);
    EXPECT_EQ(cornerWrites(), writes);
}

TEST_F(FloatingBoxTest, DraggingAnEmptySpotMovesTheBox) {
    FloatingBox box(*model);
    box.present();
    settle();
    box.move(100, 100);
    settle();
    // A spot of the header between the title and the size button.
    QWidget* header = box.view()->findChild<QWidget*>("header");
    const QPoint spot =
        header->mapTo(box.view(), QPoint(header->width() / 2, header->height() / 2));
    QTest::mousePress(box.view(), Qt::LeftButton, {}, spot);
    QMouseEvent move(QEvent::MouseMove, QPointF(spot + QPoint(30, 40)),
                     QPointF(box.view()->mapToGlobal(spot + QPoint(30, 40))), Qt::NoButton,
                     Qt::LeftButton, {});
    QCoreApplication::sendEvent(box.view(), &move);
    QTest::mouseRelease(box.view(), Qt::LeftButton, {}, spot + QPoint(30, 40));
    // Saved as the drag ends, not after a pause.
    EXPECT_EQ(box.pos(), QPoint(130, 140));
    EXPECT_EQ(stored(), QVariant(QStringLiteral("{130, 140}")));
}

TEST_F(FloatingBoxTest, HandlerMakesTheBoxOnceAndShowsOrHidesIt) {
    model->setShowBox(false);
    FloatingBoxHandler handler(*model);
    model->updateBox();
    EXPECT_EQ(handler.box(), nullptr);

    model->setShowBox(true);
    FloatingBox* box = handler.box();
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isVisible());
    // Else macOS hides it whenever another app is active.
    EXPECT_TRUE(box->testAttribute(Qt::WA_MacAlwaysShowToolWindow));
    settle();
    box->move(40, 50);
    settle();

    model->setShowBox(false);
    EXPECT_FALSE(box->isVisible());
    model->setShowBox(true);
    EXPECT_EQ(handler.box(), box);
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(box->pos(), QPoint(40, 50));
}

TEST_F(FloatingBoxTest, AShownBoxLeftOffTheScreensIsPutBack) {
    FloatingBox box(*model);
    box.present();
    settle();
    const QSize size = box.size();
    // Where a screen that shrank or went away would leave it.
    box.move(760, 790);
    box.keepOnScreen();
    EXPECT_EQ(box.geometry(), QRect(QPoint(800 - size.width(), 800 - size.height()), size));
    // Wholly on the screen, it stays put.
    box.move(100, 100);
    box.keepOnScreen();
    EXPECT_EQ(box.pos(), QPoint(100, 100));
}
