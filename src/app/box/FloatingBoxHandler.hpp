#pragma once

#include "FloatingBoxView.hpp"

#include <memory>

namespace vellumkite {

class AppModel;
class FloatingBox;

// What the model's updateBox() does: the box is made the first time it is to be shown, then
// shown and hidden as showBox says; it is never destroyed while the handler lives.
class FloatingBoxHandler {
public:
    explicit FloatingBoxHandler(AppModel& model);
    ~FloatingBoxHandler();
    FloatingBoxHandler(const FloatingBoxHandler&) = delete;
    FloatingBoxHandler& operator=(const FloatingBoxHandler&) = delete;

    // Shows or hides the box according to the model's showBox.
    void update();

    // Handed to the box's content, now or when it is made.
    void setTrayFallback(FloatingBoxView::TrayFallback fallback);

    // The box, once it has been shown.
    FloatingBox* box() const { return box_.get(); }

private:
    AppModel& model_;
    FloatingBoxView::TrayFallback fallback_;
    std::unique_ptr<FloatingBox> box_;
};

} // namespace vellumkite
