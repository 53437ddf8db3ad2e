#pragma once

// Light and dark palettes that desktops really hand an application, for the contrast tests.
#include <QColor>
#include <QPalette>
#include <string>
#include <vector>

namespace vellumkite::testing {

struct NamedPalette {
    std::string name;
    QPalette palette;
};

inline QPalette windowPalette(QRgb window, QRgb text, QRgb highlight) {
    QPalette p(QColor::fromRgb(window), QColor::fromRgb(window));
    p.setColor(QPalette::WindowText, QColor::fromRgb(text));
    p.setColor(QPalette::Text, QColor::fromRgb(text));
    p.setColor(QPalette::ButtonText, QColor::fromRgb(text));
    p.setColor(QPalette::Highlight, QColor::fromRgb(highlight));
    return p;
}

inline std::vector<NamedPalette> desktopPalettes() {
    return {
        {"light", windowPalette(0xEEEEF0, 0x1D1D1F, 0x007AFF)},
        {"dark", windowPalette(0x2A2A2C, 0xF5F5F7, 0x0A84FF)},
        {"fusion", windowPalette(0xEFEFEF, 0x000000, 0x308CC6)},
        {"breeze", windowPalette(0xEFF0F1, 0x232629, 0x3DAEE9)},
        {"breezeDark", windowPalette(0x2A2E32, 0xFCFCFC, 0x3DAEE9)},
        // A dark scheme whose accent is dark too: the highlight alone is 2:1 on the window.
        {"adwaitaDark", windowPalette(0x353535, 0xEEEEEC, 0x15539E)},
        {"darkNavy", windowPalette(0x1E1E1E, 0xD4D4D4, 0x264F78)},
    };
}

} // namespace vellumkite::testing
