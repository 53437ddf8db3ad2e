#include "FloatingBoxHandler.hpp"

#include "AppModel.hpp"
#include "FloatingBox.hpp"
#include "FloatingBoxView.hpp"

namespace vellumkite {

FloatingBoxHandler::FloatingBoxHandler(AppModel& model) : m_model(model) {
    m_model.setBoxHandler([this] { update(); });
}

FloatingBoxHandler::~FloatingBoxHandler() {
    m_model.setBoxHandler({});
}

void FloatingBoxHandler::setTrayFallback(FloatingBoxView::TrayFallback fallback) {
    m_fallback = std::move(fallback);
    if (m_box)
        m_box->view()->setTrayFallback(m_fallback);
}

void FloatingBoxHandler::update() {
    if (m_model.showBox()) {
        if (!m_box) {
            m_box = std::make_unique<FloatingBox>(m_model);
            m_box->view()->setTrayFallback(m_fallback);
        }
        m_box->present();
    } else if (m_box) {
        m_box->hide();
    }
}

} // namespace vellumkite
