#pragma once

#include "BoxSize.hpp"

#include <QtGlobal>

namespace vellumkite {

// Everything about the floating box that depends on its size.
struct BoxStyle {
    int width = 0;
    int padding = 0; // around the content
    int spacing = 0; // between rows
    qreal bodyPoints = 0;
    qreal smallPoints = 0;
    int gaugeHeight = 0;
    bool resetLines = false;       // "Resets in …" under each gauge
    bool weeklyAlways = false;     // else the weekly gauge only stands in for a missing 5-hour one
    bool noReadingMessage = false; // say so when there is no limit reading
    bool live = false;             // the rate and the sparkline
    int sparklineHeight = 0;
    bool tip = false;
    bool compactTip = false;
    bool busiest = false; // today's busiest chats

    // At the font the box was drawn for, or wider for a larger application font.
    static BoxStyle of(BoxSize size);

private:
    static BoxStyle scaled(BoxStyle style);
};

} // namespace vellumkite
