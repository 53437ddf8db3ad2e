#include "TrayIcon.hpp"

#include "MenuPopover.hpp"
#include "PopoverWindow.hpp"
#include "SingleInstance.hpp"
#include "Theme.hpp"
#include "ViewTestSupport.hpp"

#include <QApplication>
#include <QElapsedTimer>
#include <QMenu>
#include <QProcess>
#include <QScreen>
#include <QTest>

using namespace vellumkite;
using namespace vellumkite::testing;

namespace {

// Columns holding dark ink from the given row down.
int inkedColumns(const QImage& image, int fromRow) {
    int columns = 0;
    for (int x = 0; x < image.width(); ++x)
        for (int y = fromRow; y < image.height(); ++y)
            if (const QColor c = image.pixelColor(x, y); c.alpha() > 128 && c.lightness() < 100) {
                ++columns;
                break;
            }
    return columns;
}

class TrayIconTest : public ViewTest {};

} // namespace

TEST(TrayIconRender, LargeIconsDrawTheTitleUnderTheGauge) {
    const TrayPicture::Ink ink{QColor(0x1D, 0x1D, 0x1F), QColor(Qt::white)};
    const QImage percent = TrayPicture::render(QStringLiteral("34%"), 48, 1, ink);
    ASSERT_EQ(percent.size(), QSize(48, 48));
    EXPECT_EQ(TrayPicture::choose(QStringLiteral("34%"), 48, 1).layout,
              TrayPicture::Layout::gaugeOverTitle);
    // The gauge in the upper half, the title spanning most of the width below it.
    EXPECT_GE(inkedColumns(percent.copy(0, 0, 48, 22), 0), 14);
    EXPECT_GE(inkedColumns(percent, 30), 28);
    EXPECT_NE(percent, TrayPicture::render(QStringLiteral("35%"), 48, 1, ink));
    const QImage twice = TrayPicture::render(QStringLiteral("34%"), 22, 2, ink);
    EXPECT_EQ(twice.size(), QSize(44, 44));
    EXPECT_EQ(twice.devicePixelRatio(), 2);
}

TEST_F(TrayIconTest, FollowsTheTitleAndTheBoxSwitch) {
    const auto fresh = makeModel();
    TrayIcon before(*fresh, TrayIcon::Style::panel);
    EXPECT_EQ(before.trayIcon()->toolTip(), "Vellumkite: \u2026");

    TrayIcon tray(*model, TrayIcon::Style::panel);
    demo();
    EXPECT_EQ(tray.trayIcon()->toolTip(), "Vellumkite: 34%");
    EXPECT_FALSE(tray.trayIcon()->icon().isNull());

    QStringList texts;
    for (const QAction* a : tray.menu()->actions())
        texts << (a->isSeparator() ? QStringLiteral("-") : a->text());
    EXPECT_EQ(texts, QStringList({"Open Vellumkite", "History", "Floating box", "-", "Quit"}));
    EXPECT_TRUE(tray.boxAction()->isChecked());
    tray.boxAction()->trigger();
    EXPECT_FALSE(model->showBox());
    model->setShowBox(true);
    settle();
    EXPECT_TRUE(tray.boxAction()->isChecked());
}

TEST_F(TrayIconTest, ClickOpensAndClosesThePopover) {
    TrayIcon tray(*model, TrayIcon::Style::panel);
    // A right click is the context menu's.
    emit tray.trayIcon()->activated(QSystemTrayIcon::Context);
    EXPECT_EQ(tray.popover(), nullptr);
    tray.togglePopover();
    ASSERT_NE(tray.popover(), nullptr);
    EXPECT_TRUE(tray.popover()->isVisible());
    EXPECT_EQ(tray.popover()->width(), Theme::scaledWidth(MenuPopover::kWidth));
    tray.togglePopover();
    EXPECT_FALSE(tray.popover()->isVisible());
}

// What macOS needs of a menu-bar item: a square template image (black, the shape in alpha) that
// the menu bar tints itself, and no context menu, which would open on every click.
TEST_F(TrayIconTest, MenuBarStyleIsATemplateGaugeWithoutAMenu) {
    const QPalette before = QApplication::palette();
    QApplication::setPalette(palette(true));
    TrayIcon tray(*model, TrayIcon::Style::menuBar);
    settle();
    const auto image = [&](int side, qreal dpr) {
        return tray.trayIcon()
            ->icon()
            .pixmap(QSize(side, side), dpr)
            .toImage()
            .convertToFormat(QImage::Format_ARGB32);
    };
    const QImage untitled = image(22, 1);

    demo();
    EXPECT_EQ(tray.menu(), nullptr);
    EXPECT_EQ(tray.boxAction(), nullptr);
    EXPECT_EQ(tray.trayIcon()->contextMenu(), nullptr);
    EXPECT_EQ(tray.trayIcon()->toolTip(), "Vellumkite: 34%");
    const QIcon icon = tray.trayIcon()->icon();
    EXPECT_TRUE(icon.isMask());
    ASSERT_FALSE(icon.availableSizes().isEmpty());
    for (const QSize size : icon.availableSizes())
        EXPECT_EQ(size.width(), size.height());
    for (const int side : {16, 22, 32})
        for (const qreal dpr : {1.0, 2.0}) {
            const QImage im = image(side, dpr);
            ASSERT_EQ(im.size(), QSize(side, side) * dpr);
            int inked = 0, clear = 0, coloured = 0;
            for (int y = 0; y < im.height(); ++y)
                for (int x = 0; x < im.width(); ++x) {
                    const QRgb p = im.pixel(x, y);
                    inked += qAlpha(p) >= 128;
                    clear += qAlpha(p) == 0;
                    coloured += qRed(p) != 0 || qGreen(p) != 0 || qBlue(p) != 0;
                }
            EXPECT_EQ(coloured, 0) << side << "@" << dpr;
            EXPECT_GT(inked, im.width() * im.height() / 10) << side << "@" << dpr;
            EXPECT_GT(clear, im.width() * im.height() / 3) << side << "@" << dpr;
        }
    // The gauge alone, over the whole square: no title drawn, ink down to the bottom rows.
    EXPECT_EQ(image(22, 1), untitled);
    EXPECT_GE(inkedColumns(image(22, 1), 0), 18);
    EXPECT_GE(inkedColumns(image(22, 1), 19), 6);
    QApplication::setPalette(before);

    // Any click, a right one too, opens the popover; the next closes it.
    emit tray.trayIcon()->activated(QSystemTrayIcon::Context);
    ASSERT_NE(tray.popover(), nullptr);
    EXPECT_TRUE(tray.popover()->isVisible());
    emit tray.trayIcon()->activated(QSystemTrayIcon::Trigger);
    EXPECT_FALSE(tray.popover()->isVisible());
}

TEST_F(TrayIconTest, TheTitleTakesTheWarningColoursAtTheCoachsThresholds) {
    TrayIcon tray(*model, TrayIcon::Style::panel);
    const auto redness = [&] {
        const QImage image = tray.trayIcon()->icon().pixmap(22).toImage();
        int most = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                if (c.alpha() > 200)
                    most = std::max(most, c.red() - c.blue());
            }
        return most;
    };
    Snapshot s = emptyPass();
    s.limits = limits(34, 10);
    publish(s);
    EXPECT_LT(redness(), 40) << "no colour below the warning";
    EXPECT_EQ(model->titleLevel(), Level::info);
    s.limits = limits(92, 10);
    publish(s);
    EXPECT_EQ(model->titleLevel(), Level::alert);
    EXPECT_GT(redness(), 120);
    s.limits = limits(100, 10);
    publish(s);
    EXPECT_EQ(tray.trayIcon()->toolTip(), "Vellumkite: 100%");
    EXPECT_GT(redness(), 120) << "the gauge alone where 100 does not fit, still red";
}

TEST_F(TrayIconTest, InkFollowsThePalette) {
    TrayIcon tray(*model, TrayIcon::Style::panel);
    const QPalette before = QApplication::palette();
    const auto ink = [&] {
        const QImage image = tray.trayIcon()->icon().pixmap(48).toImage();
        // At 48 pixels the gauge stands over the title; its needle's hub is in its middle.
        return image.pixelColor(24, 12).lightness();
    };
    QApplication::setPalette(palette(false));
    settle();
    const int light = ink();
    QApplication::setPalette(palette(true));
    settle();
    EXPECT_GT(ink(), light + 100);
    QApplication::setPalette(before);
}

TEST_F(TrayIconTest, WithoutATrayThePopoverOpensNearTheTop) {
    ASSERT_FALSE(TrayIcon::trayAvailable()); // the offscreen platform has none
    TrayIcon tray(*model, TrayIcon::Style::panel);
    tray.showPopover();
    PopoverWindow* popover = tray.popover();
    ASSERT_NE(popover, nullptr);
    EXPECT_TRUE(popover->isVisible());
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(popover->pos(), PopoverWindow::nearTopLeft(popover->size(), area));
    EXPECT_EQ(popover->x() + popover->width() / 2, area.center().x() + 1);
    // Asked again while open, it stays open.
    tray.showPopover();
    EXPECT_TRUE(popover->isVisible());
    QTest::keyClick(popover, Qt::Key_Escape);
    EXPECT_FALSE(popover->isVisible());
}

#ifdef VELLUMKITE_APP_PATH
#ifdef __SANITIZE_ADDRESS__
constexpr qint64 kLaterStartMs = 3000; // an instrumented program starts several times slower
#else
constexpr qint64 kLaterStartMs = 1000;
#endif

// The program itself, started while this process runs as the instance, the way main wires it.
TEST_F(TrayIconTest, LaterStartOfTheProgramOpensThePopoverAndEnds) {
    TempDir runtime;
    SingleInstance instance(QString::fromStdString(runtime.path().string()));
    ASSERT_EQ(instance.start(), SingleInstance::Role::primary) << instance.error().toStdString();
    TrayIcon tray(*model, TrayIcon::Style::panel);
    QObject::connect(&instance, &SingleInstance::activationRequested, &tray,
                     &TrayIcon::showPopover);

    QProcess later;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(runtime.path().string()));
    env.insert(QStringLiteral("HOME"), QString::fromStdString(runtime.path().string()));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.remove(QStringLiteral("VELLUMKITE_DEMO"));
    later.setProcessEnvironment(env);
    QElapsedTimer clock;
    clock.start();
    later.start(QStringLiteral(VELLUMKITE_APP_PATH), {});
    ASSERT_TRUE(waitUntil([&] { return later.state() == QProcess::NotRunning; }, 10000));
    EXPECT_LT(clock.elapsed(), kLaterStartMs);
    EXPECT_EQ(later.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(later.exitCode(), 0) << later.readAllStandardError().toStdString();
    ASSERT_NE(tray.popover(), nullptr);
    EXPECT_TRUE(tray.popover()->isVisible());
    tray.popover()->close();
}
#endif
