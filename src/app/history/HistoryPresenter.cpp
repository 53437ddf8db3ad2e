#include "HistoryPresenter.hpp"

#include "AppModel.hpp"
#include "HistoryWindow.hpp"

#include <algorithm>
#include <QGuiApplication>
#include <QScreen>

namespace vellumkite {

HistoryPresenter::HistoryPresenter(AppModel& model, QObject* parent)
    : QObject(parent), model_(model) {
    connect(&model_, &AppModel::historyRequested, this, &HistoryPresenter::open);
    connect(&model_, &AppModel::historyChanged, this, &HistoryPresenter::fill);
}

HistoryPresenter::~HistoryPresenter() {
    if (window_ && window_->isVisible())
        model_.setHistoryGeometry(window_->geometry());
}

void HistoryPresenter::open() {
    if (!window_) {
        window_ = std::make_unique<HistoryWindow>();
        connect(window_.get(), &HistoryWindow::visibilityChanged, this, [this](bool visible) {
            if (!visible)
                model_.setHistoryGeometry(window_->geometry());
            model_.watchHistory(visible);
        });
        connect(window_.get(), &HistoryWindow::allMachinesChosen, &model_,
                &AppModel::setHistoryAllMachines);
        fill();
        QList<QRect> screens;
        for (const QScreen* screen : QGuiApplication::screens())
            screens.append(screen->availableGeometry());
        const QScreen* main = QGuiApplication::primaryScreen();
        window_->setGeometry(place(model_.historyGeometry(), window_->sizeHint(), screens,
                                   main ? main->availableGeometry() : QRect()));
    }
    window_->show();
    window_->raise();
    window_->activateWindow();
}

QRect HistoryPresenter::place(const std::optional<QRect>& saved, const QSize& natural,
                              const QList<QRect>& screens, const QRect& main) {
    // Room for the window manager's frame, which is not known before the window is shown.
    const QMargins frame(kFrameSide, kFrameTop, kFrameSide, kFrameSide);
    const auto inside = [](QRect r, const QRect& room) {
        r.setSize(r.size().boundedTo(room.size()));
        r.moveLeft(std::max(room.left(), std::min(r.left(), room.right() + 1 - r.width())));
        r.moveTop(std::max(room.top(), std::min(r.top(), room.bottom() + 1 - r.height())));
        return r;
    };
    // A saved place had its frame on screen already.
    if (saved)
        for (const QRect& area : screens)
            if (area.intersects(*saved))
                return inside(*saved, area);
    if (!main.isValid())
        return QRect(QPoint(), natural);
    QRect r(QPoint(), natural.boundedTo((main - frame).size()));
    r.moveCenter(main.center());
    return inside(r, main - frame);
}

void HistoryPresenter::fill() {
    if (!window_)
        return;
    const auto& status = model_.historyStatus();
    window_->setHistory(model_.history(), {status.available, status.import, status.message});
}

} // namespace vellumkite
