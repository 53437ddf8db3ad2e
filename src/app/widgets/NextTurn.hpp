#pragma once

#include <functional>
#include <QObject>
#include <QTimer>

namespace vellumkite {

// Runs an action once on the next turn of the event loop, however often it was requested before
// then: views redraw once per burst of model changes, with the final state.
class NextTurn {
public:
    NextTurn(QObject* context, std::function<void()> action)
        : context_(context), action_(std::move(action)) {}

    void request() {
        if (pending_)
            return;
        pending_ = true;
        QTimer::singleShot(0, context_, [this] {
            pending_ = false;
            action_();
        });
    }

private:
    QObject* context_;
    std::function<void()> action_;
    bool pending_ = false;
};

} // namespace vellumkite
