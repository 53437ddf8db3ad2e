#include "PopoverWindow.hpp"

#include "DemoPanel.hpp"
#include "Desktop.hpp"
#include "FloatingBox.hpp"
#include "FloatingBoxHandler.hpp"
#include "MenuPopover.hpp"
#include "Theme.hpp"
#include "ViewTestSupport.hpp"

#include <QRegularExpression>
#include <QTest>

using namespace vellumkite;
using namespace vellumkite::testing;

namespace {

const QRect kScreen(0, 0, 1440, 900);

class PopoverWindowTest : public ViewTest {};

} // namespace

TEST(PopoverPlacement, OpensByTheIconAndStaysOnScreen) {
    const QSize size(320, 600);
    // An icon in a top bar: centred under it.
    EXPECT_EQ(PopoverWindow::popupTopLeft(size, QRect(700, 0, 22, 22), kScreen),
              QPoint(711 - 160, 22 + PopoverWindow::kGap));
    // Near the right edge: pushed left so that it stays whole.
    EXPECT_EQ(PopoverWindow::popupTopLeft(size, QRect(1420, 0, 22, 22), kScreen).x(), 1440 - 320);
    // An icon in a bottom panel: above it.
    EXPECT_EQ(PopoverWindow::popupTopLeft(size, QRect(100, 878, 22, 22), kScreen),
              QPoint(0, 878 - PopoverWindow::kGap - 600));
    // Taller than the screen: the top stays visible.
    EXPECT_EQ(PopoverWindow::popupTopLeft(QSize(320, 1000), QRect(100, 878, 22, 22), kScreen).y(),
              0);
    EXPECT_EQ(PopoverWindow::panelTopLeft(QRect(0, 30, 1440, 870)), QPoint(80, 50));
}

TEST(PopoverPlacement, MayTakeTheRoomBesideTheIcon) {
    const QRect netbook(0, 0, 1024, 576); // a 24-pixel panel at the bottom
    // Below an icon at the top, above one at the bottom: all the room there is on that side.
    EXPECT_EQ(PopoverWindow::popupHeightLimit(QRect(990, 0, 22, 22), QRect(0, 0, 1024, 600)),
              600 - 22 - PopoverWindow::kGap);
    EXPECT_EQ(PopoverWindow::popupHeightLimit(QRect(990, 578, 22, 22), netbook),
              578 - PopoverWindow::kGap);
    EXPECT_EQ(PopoverWindow::popupHeightLimit(QRect(990, 500, 22, 22), netbook),
              500 - PopoverWindow::kGap);
    // An icon in the middle of a short screen leaves too little on either side: the whole height.
    EXPECT_EQ(PopoverWindow::popupHeightLimit(QRect(500, 200, 22, 22), QRect(0, 0, 1024, 400)),
              400);
}

TEST_F(PopoverWindowTest, PopupIsTransientAndClosesOnEscape) {
    PopoverWindow w(*model, PopoverWindow::Kind::popup);
    EXPECT_EQ(w.windowFlags() & Qt::WindowType_Mask, Qt::Popup);
    EXPECT_TRUE(w.testAttribute(Qt::WA_MacAlwaysShowToolWindow));
    w.popup(QRect(400, 0, 22, 22));
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.size(), w.content()->size());
    EXPECT_EQ(w.width(), Theme::scaledWidth(MenuPopover::kWidth));
    EXPECT_EQ(w.pos(), QPoint(411 - w.width() / 2, 22 + PopoverWindow::kGap));
    QTest::keyClick(&w, Qt::Key_Escape);
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(w.closedJustNow());
}

// Where no compositor draws the windows, a translucent window's see-through corners would be
// black: the popover and the box are square and opaque there.
TEST_F(PopoverWindowTest, WithoutACompositorPanelsAreSquareAndOpaque) {
    demo();
    for (const bool compositing : {false, true}) {
        SCOPED_TRACE(compositing ? "composited" : "no compositor");
        Desktop::setCompositingForTest(compositing);
        PopoverWindow popover(*model, PopoverWindow::Kind::panel);
        FloatingBox box(*model);
        popover.setPalette(palette(false));
        box.setPalette(palette(false));
        popover.showPanel();
        box.present();
        for (QWidget* w : std::initializer_list<QWidget*>{&popover, &box}) {
            EXPECT_EQ(w->testAttribute(Qt::WA_TranslucentBackground), compositing);
            const QImage image = w->grab().toImage();
            const QColor corner = image.pixelColor(0, 0);
            const QColor inside = image.pixelColor(image.width() / 2, 3);
            if (compositing) {
                EXPECT_EQ(corner.alpha(), 0) << "rounded";
            } else {
                EXPECT_EQ(corner.alpha(), 255) << "square";
                EXPECT_EQ(inside, palette(false).color(QPalette::Window)) << "opaque";
                EXPECT_GT(corner.lightness(), 180) << "no black corner";
            }
        }
    }
    Desktop::setCompositingForTest(std::nullopt);
}

TEST_F(PopoverWindowTest, DemoPanelAndWindowReport) {
    model->setBoxSize(BoxSize::small);
    FloatingBoxHandler handler(*model);
    model->updateBox();
    DemoPanel demo(*model);
    demo.open();
    PopoverWindow* panel = demo.panel();
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->pos(), QPoint(80, 20));
    // A tool window: else macOS hides it whenever another app is active.
    EXPECT_EQ(panel->windowFlags() & Qt::WindowType_Mask, Qt::Tool);
    EXPECT_TRUE(panel->testAttribute(Qt::WA_MacAlwaysShowToolWindow));

    const QStringList lines =
        DemoPanel::windowReport(panel->windowHandle()).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2) << lines.join('\n').toStdString();
    const QRegularExpression form(QStringLiteral("^window (\\d+) (\\d+)x(\\d+) (popup|box)$"));
    QStringList roles;
    for (const QString& line : lines) {
        const auto m = form.match(line);
        ASSERT_TRUE(m.hasMatch()) << line.toStdString();
        roles << m.captured(4);
        if (m.captured(4) == "popup") {
            EXPECT_EQ(m.captured(1).toULongLong(), panel->winId());
            EXPECT_EQ(m.captured(2), "320");
            EXPECT_EQ(m.captured(3).toInt(), panel->height());
        } else {
            EXPECT_EQ(m.captured(2), "240");
        }
    }
    roles.sort();
    EXPECT_EQ(roles, QStringList({"box", "popup"}));

    // With the box off, only the panel is listed.
    model->setShowBox(false);
    EXPECT_EQ(DemoPanel::windowReport(panel->windowHandle()).count('\n'), 1);

    // The report is written a second later.
    bool reported = false;
    QObject::connect(&demo, &DemoPanel::reported, [&] { reported = true; });
    EXPECT_TRUE(waitUntil([&] { return reported; }, 5000));
}
