#include "Placement.hpp"

#include <gtest/gtest.h>

using namespace vellumkite;

namespace {
// One screen whose available area starts below a 25-point menu bar.
const QList<QRectF> kScreen{QRectF(0, 25, 1440, 875)};
const QRectF kHidden; // a panel not yet sized
} // namespace

TEST(PlacementTest, FirstPlacementIsTopRightUnderTheMenuBar) {
    EXPECT_EQ(Placement::startTopLeft({300, 180}, std::nullopt, kScreen, 0), QPointF(1128, 33));
    EXPECT_EQ(Placement::fit(kHidden, false, {300, 180}, std::nullopt, kScreen, 0),
              QRectF(1128, 33, 300, 180));
}

TEST(PlacementTest, StoredCornerIsUsedAndKeptOnScreen) {
    EXPECT_EQ(Placement::fit(kHidden, false, {240, 120}, QPointF(200, 500), kScreen, 0),
              QRectF(200, 500, 240, 120));
    // Partly off the right edge: still on the screen, so used, then pushed in.
    EXPECT_EQ(Placement::startTopLeft({300, 180}, QPointF(1400, 500), kScreen, 0),
              QPointF(1400, 500));
    EXPECT_EQ(Placement::fit(kHidden, false, {300, 180}, QPointF(1400, 500), kScreen, 0),
              QRectF(1140, 500, 300, 180));
    // Above the available area: pushed down below the menu bar.
    EXPECT_EQ(Placement::fit(kHidden, false, {300, 180}, QPointF(100, 0), kScreen, 0),
              QRectF(100, 25, 300, 180));
}

TEST(PlacementTest, StoredCornerOnNoScreenFallsBackToTheDefault) {
    for (const QPointF stored : {QPointF(5000, 5000), QPointF(-400, 300), QPointF(1440, 500),
                                 QPointF(200, 900), QPointF(200, -155)}) {
        EXPECT_EQ(Placement::startTopLeft({300, 180}, stored, kScreen, 0), QPointF(1128, 33))
            << stored.x() << "," << stored.y();
    }
    // Just inside by a fraction still counts.
    EXPECT_EQ(Placement::startTopLeft({300, 180}, QPointF(1439.5, 500), kScreen, 0),
              QPointF(1439.5, 500));
}

TEST(PlacementTest, VisibleBoxGrowsDownwardFromItsTopLeft) {
    const QRectF shown(1128, 33, 300, 180);
    EXPECT_EQ(Placement::fit(shown, true, {300, 260}, std::nullopt, kScreen, 0),
              QRectF(1128, 33, 300, 260));
    EXPECT_EQ(Placement::fit(shown, true, {240, 120}, QPointF(5, 5), kScreen, 0),
              QRectF(1128, 33, 240, 120));
    // At the bottom of the screen, clamping pushes it up.
    EXPECT_EQ(
        Placement::fit(QRectF(100, 700, 300, 180), true, {300, 260}, std::nullopt, kScreen, 0),
        QRectF(100, 640, 300, 260));
}

TEST(PlacementTest, UnchangedSizeChangesNothing) {
    const QRectF shown(1128, 33, 300, 180);
    EXPECT_EQ(Placement::fit(shown, true, {300, 180}, std::nullopt, kScreen, 0), std::nullopt);
    EXPECT_EQ(Placement::fit(shown, false, {300, 180}, QPointF(0, 0), kScreen, 0), std::nullopt);
    EXPECT_EQ(
        Placement::fit(QRectF(9000, 9000, 300, 180), true, {300, 180}, std::nullopt, kScreen, 0),
        std::nullopt);
}

TEST(PlacementTest, HiddenBoxStartsOverFromTheStoredCorner) {
    const QRectF shown(600, 400, 300, 180);
    EXPECT_EQ(Placement::fit(shown, false, {300, 260}, QPointF(200, 500), kScreen, 0),
              QRectF(200, 500, 300, 260));
    EXPECT_EQ(Placement::fit(shown, false, {300, 260}, std::nullopt, kScreen, 0),
              QRectF(1128, 33, 300, 260));
}

TEST(PlacementTest, BoxLargerThanTheScreenKeepsItsTopAndRightEdgesOn) {
    EXPECT_EQ(
        Placement::fit(QRectF(10, 40, 300, 180), true, {2000, 1000}, std::nullopt, kScreen, 0),
        QRectF(1440 - 2000, 25, 2000, 1000));
}

TEST(PlacementTest, SeveralScreens) {
    // A main screen and one to its left, a little lower.
    const QList<QRectF> screens{QRectF(0, 25, 1440, 875), QRectF(-1920, 100, 1920, 1080)};
    EXPECT_EQ(Placement::fit(kHidden, false, {300, 180}, QPointF(-600, 1100), screens, 0),
              QRectF(-600, 1000, 300, 180));
    // The first screen that overlaps wins, even when another would fit it better.
    EXPECT_EQ(
        Placement::fit(QRectF(-100, 500, 300, 180), true, {300, 190}, std::nullopt, screens, 0),
        QRectF(0, 500, 300, 190));
    // The default goes to the main screen, whatever its index.
    EXPECT_EQ(Placement::startTopLeft({300, 180}, std::nullopt, screens, 1), QPointF(-312, 108));
    // Without a main screen the default uses the first.
    EXPECT_EQ(Placement::startTopLeft({300, 180}, std::nullopt, screens, -1), QPointF(1128, 33));
    // A box on no screen is put on the main screen.
    EXPECT_EQ(
        Placement::fit(QRectF(5000, 5000, 300, 180), true, {300, 190}, std::nullopt, screens, 1),
        QRectF(-300, 990, 300, 190));
}

TEST(PlacementTest, NoScreensAtAllKeepsThePanelWhereItIs) {
    EXPECT_EQ(Placement::startTopLeft({300, 180}, QPointF(200, 500), {}, 0), std::nullopt);
    EXPECT_EQ(Placement::fit(QRectF(40, 50, 0, 0), false, {300, 180}, QPointF(200, 500), {}, 0),
              QRectF(40, 50, 300, 180));
    EXPECT_EQ(Placement::fit(QRectF(40, 50, 10, 10), true, {300, 180}, std::nullopt, {}, -1),
              QRectF(40, 50, 300, 180));
    // Screens, but none overlapping and no main one: the candidate as it is.
    EXPECT_EQ(Placement::fit(QRectF(5000, 50, 10, 10), true, {300, 180}, std::nullopt, kScreen, -1),
              QRectF(5000, 50, 300, 180));
}

TEST(PlacementTest, AfterTheScreensChangeTheBoxIsPutBackOnOne) {
    const QRectF laptop(0, 0, 1024, 576), external(1024, 0, 1920, 1080);
    const QRectF box(1500, 900, 300, 160); // on the external screen, near its bottom
    // Wholly on a screen: stays.
    EXPECT_EQ(Placement::keepInside(box, {laptop, external}, 0), std::nullopt);
    // The external screen unplugged: onto the main one, its right and bottom edges inside.
    EXPECT_EQ(Placement::keepInside(box, {laptop}, 0), QRectF(724, 416, 300, 160));
    // The screen lowered its resolution: pushed back up and in.
    EXPECT_EQ(Placement::keepInside(QRectF(700, 500, 300, 160), {laptop}, 0),
              QRectF(700, 416, 300, 160));
    // Across two screens: onto the one it overlaps most.
    EXPECT_EQ(Placement::keepInside(QRectF(900, 10, 300, 160), {laptop, external}, 0),
              QRectF(1024, 10, 300, 160));
    EXPECT_EQ(Placement::keepInside(box, {}, -1), std::nullopt);
}
