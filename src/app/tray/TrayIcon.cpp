#include "TrayIcon.hpp"

#include "AppModel.hpp"
#include "Desktop.hpp"
#include "PopoverWindow.hpp"
#include "Symbols.hpp"
#include "Theme.hpp"

#include <cstdio>
#include <QApplication>
#include <QMenu>
#include <QTimer>

namespace vellumkite {

namespace {

constexpr int kSizes[] = {16, 22, 24, 32, 48, 64};

} // namespace

QIcon TrayIcon::icon(const QString& title, const TrayPicture::Ink& ink) {
    QIcon icon;
    for (const int size : kSizes)
        for (const qreal dpr : {1.0, 2.0})
            icon.addPixmap(QPixmap::fromImage(TrayPicture::render(title, size, dpr, ink)));
    return icon;
}

QIcon TrayIcon::menuBarIcon() {
    QIcon icon = Symbols::icon(Symbol::gauge, Qt::black);
    icon.setIsMask(true);
    return icon;
}

TrayIcon::Style TrayIcon::platformStyle() {
#ifdef Q_OS_MACOS
    return Style::menuBar;
#else
    return Style::panel;
#endif
}

QString TrayIcon::toolTip(const QString& title) {
    return QStringLiteral("Vellumkite: ") + title;
}

QString TrayIcon::noTrayMessage(bool boxShown) {
    // Starting the program again opens the popover of the one already running.
    if (boxShown)
        return QStringLiteral("Vellumkite: no system tray found; the floating box on screen is "
                              "the way in (its menu opens Vellumkite and quits it). Start "
                              "Vellumkite again at any time to open its window.");
    return QStringLiteral("Vellumkite: no system tray found and the floating box is switched "
                          "off. Start Vellumkite again to open its window, where the box can be "
                          "switched on.");
}

TrayIcon::TrayIcon(AppModel& model, Style style, QObject* parent)
    : QObject(parent), model_(model), style_(style), tray_(std::make_unique<QSystemTrayIcon>()) {
    if (style_ == Style::panel)
        buildMenu();
    connect(tray_.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                // Without a menu, a right or Control click does what a click does.
                if (reason == QSystemTrayIcon::Trigger ||
                    (reason == QSystemTrayIcon::Context && !menu_))
                    togglePopover();
            });
    connect(&model_, &AppModel::changed, this, &TrayIcon::scheduleSync);
    // The ink follows the desktop's light or dark palette.
    qApp->installEventFilter(this);
    sync();
}

bool TrayIcon::eventFilter(QObject* watched, QEvent* event) {
    if (watched == qApp && event->type() == QEvent::ApplicationPaletteChange) {
        shownTitleValid_ = false;
        scheduleSync();
    }
    return QObject::eventFilter(watched, event);
}

TrayIcon::~TrayIcon() = default;

void TrayIcon::buildMenu() {
    menu_ = std::make_unique<QMenu>();
    connect(menu_->addAction(QStringLiteral("Open Vellumkite")), &QAction::triggered, this,
            &TrayIcon::openPopover);
    connect(menu_->addAction(QStringLiteral("History")), &QAction::triggered, &model_,
            &AppModel::openHistory);
    boxAction_ = menu_->addAction(QStringLiteral("Floating box"));
    boxAction_->setCheckable(true);
    connect(boxAction_, &QAction::triggered, this, [this](bool on) { model_.setShowBox(on); });
    menu_->addSeparator();
    connect(menu_->addAction(QStringLiteral("Quit")), &QAction::triggered, this,
            [] { QCoreApplication::quit(); });
    tray_->setContextMenu(menu_.get());
}

void TrayIcon::show() {
    tray_->show();
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        const QByteArray line = noTrayMessage(model_.showBox()).toLocal8Bit();
        std::fprintf(stderr, "%s\n", line.constData());
        std::fflush(stderr);
    }
}

void TrayIcon::scheduleSync() {
    sync_.request();
}

void TrayIcon::sync() {
    const QString title = model_.menuTitle();
    // Redrawn only when the title or the palette changes: a new icon makes some trays flicker.
    const Level level = model_.titleLevel();
    if (!shownTitleValid_ || title != shownTitle_ || level != shownLevel_) {
        if (style_ == Style::panel)
            tray_->setIcon(
                icon(title, TrayPicture::ink(Desktop::trayForeground(),
                                             Theme::isDark(QApplication::palette()), level)));
        else if (tray_->icon().isNull()) // the menu bar tints it: drawn once
            tray_->setIcon(menuBarIcon());
        tray_->setToolTip(toolTip(title));
        shownTitle_ = title;
        shownLevel_ = level;
        shownTitleValid_ = true;
    }
    if (boxAction_)
        boxAction_->setChecked(model_.showBox());
}

void TrayIcon::openPopover() {
    if (!popover_)
        popover_ = std::make_unique<PopoverWindow>(model_, PopoverWindow::Kind::popup);
    popover_->popup(tray_->geometry());
}

bool TrayIcon::trayAvailable() {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void TrayIcon::showPopover() {
    if (!popover_)
        popover_ = std::make_unique<PopoverWindow>(model_, PopoverWindow::Kind::popup);
    const QRect icon = tray_->geometry();
    if (trayAvailable() && tray_->isVisible() && icon.isValid() && !icon.isEmpty())
        popover_->popup(icon);
    else
        popover_->popupNearTop();
}

void TrayIcon::togglePopover() {
    if (popover_ && (popover_->isVisible() || popover_->closedJustNow())) {
        popover_->close();
        return;
    }
    openPopover();
}

} // namespace vellumkite
