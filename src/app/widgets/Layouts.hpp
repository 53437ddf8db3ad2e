#pragma once

class QHBoxLayout;
class QVBoxLayout;
class QWidget;

namespace vellumkite {

// Layouts cache their items' sizes and learn of a change only through events that a hidden
// widget never gets. Views that change fonts and show or hide rows, then ask for their natural
// size at once, drop those caches first, innermost first.
//
// The views' rows and stacks are made here too: without margins, with the given spacing.
struct Layouts {
    static constexpr int kRowSpacing = 8;

    static void refresh(QWidget* root);

    static QHBoxLayout* row(QWidget* parent, int spacing = kRowSpacing);
    static QVBoxLayout* stack(QWidget* parent, int spacing);
};

} // namespace vellumkite
