#include "HistoryPresenter.hpp"

#include "AppModel.hpp"
#include "HistoryWindow.hpp"

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
        // Back where the user left it, if that is still on a screen; else centred.
        const auto saved = model_.historyGeometry();
        bool placed = false;
        if (saved) {
            for (const QScreen* screen : QGuiApplication::screens())
                if (screen->availableGeometry().intersects(*saved)) {
                    window_->setGeometry(*saved);
                    placed = true;
                    break;
                }
        }
        if (!placed) {
            window_->resize(window_->sizeHint());
            if (const QScreen* screen = QGuiApplication::primaryScreen()) {
                QRect r(QPoint(), window_->size());
                r.moveCenter(screen->availableGeometry().center());
                window_->move(r.topLeft());
            }
        }
        fill();
    }
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void HistoryPresenter::fill() {
    if (!window_)
        return;
    const auto& status = model_.historyStatus();
    window_->setHistory(model_.history(), {status.available, status.import, status.message});
}

} // namespace vellumkite
