#include "BoxStyle.hpp"

namespace vellumkite {

BoxStyle BoxStyle::of(BoxSize size) {
    switch (size) {
    case BoxSize::small:
        return {.width = 240,
                .padding = 12,
                .spacing = 10,
                .bodyPoints = 12,
                .smallPoints = 11,
                .gaugeHeight = 6};
    case BoxSize::medium:
        break;
    case BoxSize::large:
        return {.width = 380,
                .padding = 16,
                .spacing = 12,
                .bodyPoints = 15,
                .smallPoints = 13,
                .gaugeHeight = 8,
                .resetLines = true,
                .weeklyAlways = true,
                .noReadingMessage = true,
                .live = true,
                .sparklineHeight = 36,
                .tip = true,
                .busiest = true};
    }
    return {.width = 300,
            .padding = 12,
            .spacing = 10,
            .bodyPoints = 13,
            .smallPoints = 11,
            .gaugeHeight = 6,
            .resetLines = true,
            .weeklyAlways = true,
            .noReadingMessage = true,
            .live = true,
            .sparklineHeight = 24,
            .tip = true,
            .compactTip = true};
}

} // namespace vellumkite
