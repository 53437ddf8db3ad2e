#pragma once

#include <functional>
#include <QCoreApplication>
#include <QDeadlineTimer>

namespace vellumkite::testing {

// Lets the event loop run until the condition holds or the time is up.
inline bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 10000) {
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

} // namespace vellumkite::testing
