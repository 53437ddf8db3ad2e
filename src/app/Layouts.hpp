#pragma once

class QWidget;

namespace vellumkite {

// Layouts cache their items' sizes and learn of a change only through events that a hidden
// widget never gets. Views that change fonts and show or hide rows, then ask for their natural
// size at once, drop those caches first, innermost first.
struct Layouts {
    static void refresh(QWidget* root);
};

} // namespace vellumkite
