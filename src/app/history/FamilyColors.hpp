#pragma once

#include <QColor>
#include <QPalette>
#include <string_view>

namespace vellumkite {

// The colours of model families in the History window: fixed, told apart also by people with a
// red-green deficiency, and each made legible on the palette's window. Keyed by the family's
// name ("Opus", "Sonnet", "Haiku"); "Other" is grey, and a name without a colour of its own gets
// one of the spare colours, always the same for the same name.
struct FamilyColors {
    static QColor of(std::string_view family, const QPalette& palette);
};

} // namespace vellumkite
