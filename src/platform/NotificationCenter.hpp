#pragma once

#include <QString>

namespace vellumkite {

// Somewhere to post desktop notifications. Posting never waits for the desktop.
class NotificationCenter {
public:
    virtual ~NotificationCenter() = default;

    // Shows title and body at once, with the default sound when sound is set. A later post with
    // the same identifier replaces this one where the desktop allows it.
    virtual void post(const QString& identifier, const QString& title, const QString& body,
                      bool sound) = 0;
};

} // namespace vellumkite
