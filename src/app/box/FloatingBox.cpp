#include "FloatingBox.hpp"

#include "AppModel.hpp"
#include "Desktop.hpp"
#include "FloatingBoxView.hpp"
#include "Layouts.hpp"
#include "Placement.hpp"
#include "Theme.hpp"

#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>

namespace vellumkite {

FloatingBox::FloatingBox(AppModel& model)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::WindowDoesNotAcceptFocus),
      model_(model) {
    setObjectName(QStringLiteral("floatingBox"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    Theme::preparePanelWindow(*this);
    auto* layout = Layouts::stack(this, 0);
    // The window takes exactly the size fit() gives it.
    layout->setSizeConstraint(QLayout::SetNoConstraint);
    view_ = new FloatingBoxView(model, this);
    layout->addWidget(view_);
    connect(view_, &FloatingBoxView::synced, this, &FloatingBox::fit);
    connect(view_, &FloatingBoxView::dragFinished, this, &FloatingBox::saveCorner);
    saveTimer_.setSingleShot(true);
    saveTimer_.setInterval(kSaveDelayMs);
    connect(&saveTimer_, &QTimer::timeout, this, &FloatingBox::saveCorner);
    // A screen unplugged or made smaller must not take the box with it.
    for (QScreen* screen : QGuiApplication::screens())
        watchScreen(screen);
    connect(qGuiApp, &QGuiApplication::screenAdded, this, &FloatingBox::watchScreen);
    connect(qGuiApp, &QGuiApplication::screenRemoved, this, &FloatingBox::keepOnScreen,
            Qt::QueuedConnection);
}

std::pair<QList<QRectF>, int> FloatingBox::availableAreas() {
    QList<QRectF> screens;
    int main = -1;
    const QList<QScreen*> all = QGuiApplication::screens();
    for (qsizetype i = 0; i < all.size(); ++i) {
        screens.append(QRectF(all[i]->availableGeometry()));
        if (all[i] == QGuiApplication::primaryScreen())
            main = static_cast<int>(i);
    }
    return {screens, main};
}

void FloatingBox::watchScreen(QScreen* screen) {
    connect(screen, &QScreen::availableGeometryChanged, this, &FloatingBox::keepOnScreen);
    connect(screen, &QScreen::geometryChanged, this, &FloatingBox::keepOnScreen);
}

void FloatingBox::keepOnScreen() {
    if (!isVisible())
        return; // a hidden box is placed anew when it shows
    const auto [screens, main] = availableAreas();
    if (const auto next = Placement::keepInside(QRectF(frameGeometry()), screens, main))
        move(next->toRect().topLeft() + (pos() - frameGeometry().topLeft()));
}

FloatingBox::~FloatingBox() {
    if (saveTimer_.isActive())
        saveCorner();
}

void FloatingBox::fit() {
    const QSize content = view_->fittingSize();
    const auto [screens, main] = availableAreas();
    // While the window manager is still placing the box, where it seems to be is not where it
    // will be: the corner we asked for stands.
    const QRect current = settling_ ? QRect(corner_, size()) : geometry();
    const QRectF frame = placed_ ? QRectF(current) : QRectF();
    const auto next =
        Placement::fit(frame, isVisible(), QSizeF(content), model_.boxTopLeft(), screens, main);
    if (!next)
        return;
    placed_ = true;
    setGeometry(next->toRect());
    corner_ = next->toRect().topLeft();
}

void FloatingBox::present() {
    view_->sync();
    const bool appearing = !isVisible();
    fit();
    stickToAllDesktops();
    if (appearing)
        settling_ = true;
    show();
    raise();
}

void FloatingBox::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    if (settling_)
        return;
    corner_ = pos();
    // A drag moves the window many times; the corner is saved once the moves stop.
    if (isVisible())
        saveTimer_.start();
}

void FloatingBox::hideEvent(QHideEvent* event) {
    if (saveTimer_.isActive())
        saveCorner();
    QWidget::hideEvent(event);
}

void FloatingBox::paintEvent(QPaintEvent* event) {
    // Some window managers place a new tool window by rules of their own (openbox centres it on
    // its group, which for us is a window at 0, 0) and report that before the first expose.
    // Such a move is neither the user's nor stored; the box goes back to its corner once.
    if (settling_) {
        settling_ = false;
        if (pos() != corner_)
            move(corner_);
    }
    QWidget::paintEvent(event);
}

void FloatingBox::saveCorner() {
    saveTimer_.stop();
    model_.setBoxTopLeft(QPointF(frameGeometry().topLeft()));
}

void FloatingBox::stickToAllDesktops() {
    Desktop::showOnAllDesktops(this);
}

} // namespace vellumkite
