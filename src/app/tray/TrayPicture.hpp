#pragma once

#include "Thresholds.hpp"

#include <optional>
#include <QColor>
#include <QImage>
#include <QString>

namespace vellumkite {

// What the tray icon shows at a given size, and the picture itself. A tray icon cannot carry
// text beside it, so the title (the 5-hour percentage or the chat's size) is drawn into it, in
// hinted glyphs, as large as the icon allows. What is drawn is chosen by measurement: the gauge
// over the title where the title reads with ease under it, else the title alone at full height
// (without its "%" where that is what makes it read), else the gauge alone, the title then being
// in the tooltip only.
//
// Every shape has a hard outline one device pixel wide in a colour opposite to its ink, so that
// it reads on a light panel and on a dark one; where the tray says which colour its icons should
// take, that colour is the ink.
struct TrayPicture {
    // Digits less tall than this, in device pixels, do not read; from the second they read with
    // ease.
    static constexpr qreal kLegibleCap = 7;
    static constexpr qreal kComfortableCap = 9;

    enum class Layout { gaugeOverTitle, titleOnly, gaugeOnly };
    struct Choice {
        Layout layout = Layout::gaugeOnly;
        QString text;        // what is drawn of the title
        qreal pixelSize = 0; // of the title's font, in device pixels
        qreal capHeight = 0; // of the title's digits, in device pixels
    };
    // The layout for a title at size × size logical pixels and the device pixel ratio.
    static Choice choose(const QString& title, int size, qreal devicePixelRatio);

    struct Ink {
        QColor fill;
        QColor outline; // none (invalid): no outline
    };
    // The neutral ink: the tray's own colour where it says one (no outline needed), else black
    // or white by the panel guessed from the palette, with the opposite outline. A warning or
    // alert level colours the fill.
    static Ink ink(const std::optional<QColor>& trayForeground, bool darkPanelGuess, Level level);

    static QImage render(const QString& title, int size, qreal devicePixelRatio, const Ink& ink);
};

} // namespace vellumkite
