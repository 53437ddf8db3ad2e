#include "PopoverWindow.hpp"

#include "Layouts.hpp"
#include "MenuPopover.hpp"
#include "Theme.hpp"

#include <algorithm>
#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>

namespace vellumkite {

namespace {

constexpr qreal kBackgroundOpacity = 0.97;
// The panel's top-left corner from the available area's.
constexpr QPoint kPanelOffset(80, 20);
constexpr qint64 kReopenGuardMs = 300;

Qt::WindowFlags flagsFor(PopoverWindow::Kind kind) {
    if (kind == PopoverWindow::Kind::popup)
        return Qt::Popup | Qt::FramelessWindowHint;
    return Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
           Qt::WindowDoesNotAcceptFocus;
}

QRect availableAt(const QPoint& point) {
    QScreen* screen = QGuiApplication::screenAt(point);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

} // namespace

PopoverWindow::PopoverWindow(AppModel& model, Kind kind)
    : QWidget(nullptr, flagsFor(kind)), kind_(kind) {
    setObjectName(kind == Kind::popup ? QStringLiteral("popover") : QStringLiteral("demoPanel"));
    Theme::preparePanelWindow(*this);
    if (kind == Kind::panel)
        setAttribute(Qt::WA_ShowWithoutActivating);
    auto* layout = Layouts::stack(this, 0);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    content_ = new MenuPopover(model, this);
    layout->addWidget(content_);
    connect(content_, &MenuPopover::synced, this, &PopoverWindow::refit);
    // The History window takes over from the popup.
    if (kind_ == Kind::popup)
        connect(content_, &MenuPopover::historyClicked, this, &QWidget::close);
}

PopoverWindow::~PopoverWindow() = default;

QPoint PopoverWindow::popupTopLeft(const QSize& size, const QRect& anchor, const QRect& available) {
    const int middle = anchor.x() + anchor.width() / 2;
    const bool below = anchor.y() + anchor.height() / 2 < available.y() + available.height() / 2;
    int x = middle - size.width() / 2;
    int y = below ? anchor.bottom() + 1 + kGap : anchor.top() - kGap - size.height();
    if (available.isValid()) {
        // Pushed inside; the top-left corner wins when the popup is larger than the area.
        x = std::max(std::min(x, available.right() + 1 - size.width()), available.left());
        y = std::max(std::min(y, available.bottom() + 1 - size.height()), available.top());
    }
    return {x, y};
}

int PopoverWindow::popupHeightLimit(const QRect& anchor, const QRect& available) {
    if (!available.isValid())
        return 0;
    // Less than this beside the icon, and the popup may as well cover the icon.
    constexpr int kLeast = 240;
    const bool below = anchor.y() + anchor.height() / 2 < available.y() + available.height() / 2;
    const int room =
        below ? available.bottom() + 1 - std::max(anchor.bottom() + 1 + kGap, available.top())
              : std::min(anchor.top() - kGap, available.bottom() + 1) - available.top();
    return room >= kLeast ? room : available.height();
}

QPoint PopoverWindow::nearTopLeft(const QSize& size, const QRect& available) {
    const int x = available.x() + (available.width() - size.width()) / 2;
    const int y = available.y() + available.height() / 10;
    const int bottom = available.bottom() + 1 - size.height();
    return {std::max(x, available.left()), std::max(std::min(y, bottom), available.top())};
}

QPoint PopoverWindow::panelTopLeft(const QRect& available) {
    return available.topLeft() + kPanelOffset;
}

void PopoverWindow::popup(const QRect& anchor) {
    const QRect by =
        anchor.isValid() && !anchor.isEmpty() ? anchor : QRect(QCursor::pos(), QSize(1, 1));
    open(by, availableAt(by.center()));
}

void PopoverWindow::popupNearTop() {
    open(QRect(), availableAt(QCursor::pos()));
}

void PopoverWindow::open(const QRect& anchor, const QRect& screenArea) {
    anchor_ = anchor;
    screenArea_ = screenArea;
    content_->setHeightLimit(anchor.isEmpty() ? screenArea.height() - screenArea.height() / 10
                                              : popupHeightLimit(anchor, screenArea));
    content_->sync();
    adjustSize();
    place();
    show();
    raise();
    activateWindow();
}

void PopoverWindow::place() {
    move(anchor_.isEmpty() ? nearTopLeft(size(), screenArea_)
                           : popupTopLeft(size(), anchor_, screenArea_));
}

void PopoverWindow::showPanel() {
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect();
    if (area.isValid())
        content_->setHeightLimit(area.height() - kPanelOffset.y());
    content_->sync();
    adjustSize();
    QPoint at = area.isValid() ? panelTopLeft(area) : kPanelOffset;
    if (area.isValid())
        at.setX(std::max(area.left(), std::min(at.x(), area.right() + 1 - width())));
    move(at);
    show();
    raise();
}

void PopoverWindow::refit() {
    if (!isVisible())
        return;
    adjustSize();
    // A popup above the tray grows upward so that it keeps clear of the icon.
    if (kind_ == Kind::popup)
        place();
}

bool PopoverWindow::closedJustNow() const {
    return closed_.isValid() && closed_.elapsed() < kReopenGuardMs;
}

void PopoverWindow::hideEvent(QHideEvent* event) {
    closed_.start();
    QWidget::hideEvent(event);
}

void PopoverWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && kind_ == Kind::popup) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void PopoverWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    Theme::paintPanel(painter, *this, kCornerRadius, kBackgroundOpacity);
}

} // namespace vellumkite
