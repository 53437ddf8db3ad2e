#pragma once

#include <array>
#include <QIcon>
#include <QImage>
#include <QString>

namespace vellumkite {

// The application's icon: our gauge in white on a rounded blue square. The same shapes give
// the scalable SVG and the PNGs of every hicolor size, so they always match.
struct AppIcon {
    static constexpr int kCanvas = 512;
    static constexpr std::array<int, 9> kSizes = {16, 22, 24, 32, 48, 64, 128, 256, 512};

    static QImage image(int size);
    static QString svg();
    // From the installed icon theme when there is one, else drawn.
    static QIcon icon();
};

} // namespace vellumkite
