#include "BoxStyle.hpp"

#include "Theme.hpp"

namespace vellumkite {

BoxStyle BoxStyle::of(BoxSize size) {
    // The small box: the 5-hour limit and this chat.
    BoxStyle s{.width = 240,
               .padding = 12,
               .spacing = 10,
               .bodyPoints = 12,
               .smallPoints = 11,
               .gaugeHeight = 6};
    if (size == BoxSize::small)
        return scaled(s);
    // The medium box adds the reset times, the weekly limit, the live block and a short tip.
    s.width = 300;
    s.bodyPoints = 13;
    s.resetLines = s.weeklyAlways = s.noReadingMessage = s.live = s.tip = s.compactTip = true;
    s.sparklineHeight = 24;
    if (size == BoxSize::medium)
        return scaled(s);
    // The large box is roomier, shows the whole tip and adds the busiest chats.
    s.width = 380;
    s.padding = 16;
    s.spacing = 12;
    s.bodyPoints = 15;
    s.smallPoints = 13;
    s.gaugeHeight = 8;
    s.sparklineHeight = 36;
    s.compactTip = false;
    s.busiest = true;
    return scaled(s);
}

BoxStyle BoxStyle::scaled(BoxStyle s) {
    // The fonts follow the application's; the width grows with them.
    s.width = Theme::scaledWidth(s.width);
    return s;
}

} // namespace vellumkite
