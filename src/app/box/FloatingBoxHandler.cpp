#include "FloatingBoxHandler.hpp"

#include "AppModel.hpp"
#include "FloatingBox.hpp"
#include "FloatingBoxView.hpp"

namespace vellumkite {

FloatingBoxHandler::FloatingBoxHandler(AppModel& model) : model_(model) {
    model_.setBoxHandler([this] { update(); });
}

FloatingBoxHandler::~FloatingBoxHandler() {
    model_.setBoxHandler({});
}

void FloatingBoxHandler::setTrayFallback(FloatingBoxView::TrayFallback fallback) {
    fallback_ = std::move(fallback);
    if (box_)
        box_->view()->setTrayFallback(fallback_);
}

void FloatingBoxHandler::update() {
    if (model_.showBox()) {
        if (!box_) {
            box_ = std::make_unique<FloatingBox>(model_);
            box_->view()->setTrayFallback(fallback_);
        }
        box_->present();
    } else if (box_) {
        box_->hide();
    }
}

} // namespace vellumkite
