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
};

} // namespace

TEST_F(FloatingBoxTest, FirstShowGoesTopRightAndStoresNothing) {
    FloatingBox box(*model, prefs);
    box.present();
    const QSize size = box.view()->fittingSize();
    EXPECT_EQ(box.geometry(), QRect(800 - size.width() - 12, 8, size.width(), size.height()));
    EXPECT_FALSE(stored().isValid());

    // A move once the box is drawn is remembered; one while hidden is not.
    settle();
    box.move(100, 150);
    settle();
    EXPECT_EQ(stored(), QVariant(QStringLiteral("{100, 150}")));
    box.hide();
    box.move(300, 300);
    settle();
    EXPECT_EQ(stored(), QVariant(QStringLiteral("{100, 150}")));
}

TEST_F(FloatingBoxTest, PlacementByTheWindowManagerBeforeTheFirstPaintIsUndone) {
    prefs.setValue(PreferenceKeys::boxTopLeft.name, QStringLiteral("{200, 300}"));
    FloatingBox box(*model, prefs);
    box.present();
    // A window manager that puts a new tool window at its group's origin and says so before
    // the window is first drawn; meanwhile new figures change the box's height.
    box.move(0, 0);
    model->setBoxSize(BoxSize::large);
    settle();
    EXPECT_EQ(box.pos(), QPoint(200, 300));
    EXPECT_EQ(box.size(), box.view()->fittingSize());
    EXPECT_EQ(stored(), QVariant(QStringLiteral("{200, 300}")));

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
    EXPECT_EQ(stored(), QVariant(QStringLiteral("{10, 20}")));
}

TEST_F(FloatingBoxTest, ReopensAtTheStoredCornerKeptOnScreen) {
    prefs.setValue(PreferenceKeys::boxTopLeft.name, QStringLiteral("{200, 300}"));
    {
        FloatingBox box(*model, prefs);
        box.present();
        EXPECT_EQ(box.pos(), QPoint(200, 300));
    }
    // Partly off the right edge: pulled back in.
    prefs.setValue(PreferenceKeys::boxTopLeft.name, QStringLiteral("{700, 300}"));
    {
        FloatingBox box(*model, prefs);
        box.present();
        EXPECT_EQ(box.pos(), QPoint(800 - box.width(), 300));
    }
    // On no screen at all: the default place.
    prefs.setValue(PreferenceKeys::boxTopLeft.name, QStringLiteral("{5000, 5000}"));
    {
        FloatingBox box(*model, prefs);
        box.present();
        EXPECT_EQ(box.pos(), QPoint(800 - box.width() - 12, 8));
    }
}

TEST_F(FloatingBoxTest, RefitsOnModelChangesFromAFixedTopLeft) {
    FloatingBox box(*model, prefs);
    model->setBoxSize(BoxSize::small);
    box.present();
    settle();
    box.move(50, 60);
    settle();
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
    prefs.remove(PreferenceKeys::boxTopLeft.name);
    model->loadDemo();
    settle();
    EXPECT_EQ(box.geometry(), demo);
    EXPECT_FALSE(stored().isValid());
}

TEST_F(FloatingBoxTest, DraggingAnEmptySpotMovesTheBox) {
    FloatingBox box(*model, prefs);
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
    settle();
    EXPECT_EQ(box.pos(), QPoint(130, 140));
    EXPECT_EQ(stored(), QVariant(QStringLiteral("{130, 140}")));
}

TEST_F(FloatingBoxTest, HandlerMakesTheBoxOnceAndShowsOrHidesIt) {
    model->setShowBox(false);
    FloatingBoxHandler handler(*model, prefs);
    model->updateBox();
    EXPECT_EQ(handler.box(), nullptr);

    model->setShowBox(true);
    FloatingBox* box = handler.box();
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isVisible());
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
