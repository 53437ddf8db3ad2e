#include "FloatingBoxHandler.hpp"

#include "AppModel.hpp"
#include "FloatingBox.hpp"

namespace vellumkite {

FloatingBoxHandler::FloatingBoxHandler(AppModel& model, WritablePreferences& preferences)
    : m_model(model), m_preferences(preferences) {
    m_model.setBoxHandler([this] { update(); });
}

FloatingBoxHandler::~FloatingBoxHandler() {
    m_model.setBoxHandler({});
}

void FloatingBoxHandler::update() {
    if (m_model.showBox()) {
        if (!m_box)
            m_box = std::make_unique<FloatingBox>(m_model, m_preferences);
        m_box->present();
    } else if (m_box) {
        m_box->hide();
    }
}

} // namespace vellumkite
