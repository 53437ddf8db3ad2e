#include "FloatingBox.hpp"

#include "AppModel.hpp"
#include "FloatingBoxView.hpp"
#include "Placement.hpp"

#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>

#ifdef VELLUMKITE_HAVE_XCB
#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>
#endif

namespace vellumkite {

FloatingBox::FloatingBox(AppModel& model)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::WindowDoesNotAcceptFocus),
      model_(model) {
    setObjectName(QStringLiteral("floatingBox"));
    setWindowTitle(QStringLiteral("Vellumkite"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TranslucentBackground);
    // macOS hides tool windows while the app is inactive, which a menu-bar app nearly always is.
    setAttribute(Qt::WA_MacAlwaysShowToolWindow);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    // The window takes exactly the size fit() gives it.
    layout->setSizeConstraint(QLayout::SetNoConstraint);
    view_ = new FloatingBoxView(model, this);
    layout->addWidget(view_);
    connect(view_, &FloatingBoxView::synced, this, &FloatingBox::fit);
    connect(view_, &FloatingBoxView::dragFinished, this, &FloatingBox::saveCorner);
    saveTimer_.setSingleShot(true);
    saveTimer_.setInterval(kSaveDelayMs);
    connect(&saveTimer_, &QTimer::timeout, this, &FloatingBox::saveCorner);
}

FloatingBox::~FloatingBox() {
    if (saveTimer_.isActive())
        saveCorner();
}

void FloatingBox::fit() {
    const QSize content = view_->fittingSize();
    QList<QRectF> screens;
    int main = -1;
    const QList<QScreen*> all = QGuiApplication::screens();
    for (qsizetype i = 0; i < all.size(); ++i) {
        screens.append(QRectF(all[i]->availableGeometry()));
        if (all[i] == QGuiApplication::primaryScreen())
            main = static_cast<int>(i);
    }
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
#ifdef VELLUMKITE_HAVE_XCB
    // _NET_WM_DESKTOP 0xFFFFFFFF puts a window on every desktop. Before it is mapped the window
    // says so itself; once mapped, the window manager must be asked.
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection())
        return;
    xcb_connection_t* c = x11->connection();
    const auto window = static_cast<xcb_window_t>(winId());
    static constexpr char kName[] = "_NET_WM_DESKTOP";
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof kName - 1, kName), nullptr);
    if (!reply)
        return;
    const xcb_atom_t atom = reply->atom;
    free(reply);
    const uint32_t allDesktops = 0xFFFFFFFF;
    if (!isVisible()) {
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, atom, XCB_ATOM_CARDINAL, 32, 1,
                            &allDesktops);
    } else {
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
        if (!screen)
            return;
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = window;
        event.type = atom;
        event.data.data32[0] = allDesktops;
        event.data.data32[1] = 1; // from an application
        xcb_send_event(c, 0, screen->root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                       reinterpret_cast<const char*>(&event));
    }
    xcb_flush(c);
#endif
}

} // namespace vellumkite
