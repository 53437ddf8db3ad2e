#include "FamilyColors.hpp"

#include "Theme.hpp"

#include <array>
#include <utility>

namespace vellumkite {

namespace {

// From a palette designed for colour-blind readers, with the purple the families began with.
constexpr std::array<std::pair<std::string_view, QRgb>, 3> kFamilies = {{
    {"Opus", 0xAF52DE},   // purple
    {"Sonnet", 0x0072B2}, // blue
    {"Haiku", 0x009E73},  // bluish green
}};
constexpr std::array<QRgb, 4> kSpare = {0xE69F00, 0xD55E00, 0x56B4E9, 0xCC79A7};

QColor base(std::string_view family) {
    for (const auto& [name, rgb] : kFamilies)
        if (name == family)
            return QColor::fromRgb(rgb);
    // A small stable hash, so that a family keeps its colour from one run to the next.
    std::size_t h = 0;
    for (const char c : family)
        h = h * 31 + static_cast<unsigned char>(c);
    return QColor::fromRgb(kSpare[h % kSpare.size()]);
}

} // namespace

QColor FamilyColors::of(std::string_view family, const QPalette& palette) {
    if (family == "Other")
        return Theme::tertiary(palette);
    return Theme::legible(base(family), palette.color(QPalette::Window), Theme::kGraphicContrast);
}

} // namespace vellumkite
