// The families' colours in the History window: legible on every desktop's window and told apart
// from each other, also where the palette's accent would have matched one of them.
#include "FamilyColors.hpp"

#include "DesktopPalettes.hpp"
#include "Theme.hpp"

#include <cmath>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace vellumkite;
using namespace vellumkite::testing;

namespace {

// CIE L*a*b* under D65, from sRGB.
struct Lab {
    double l, a, b;
};

Lab lab(const QColor& c) {
    const auto lin = [](double v) {
        return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    const double r = lin(c.redF()), g = lin(c.greenF()), b = lin(c.blueF());
    const double x = (0.4124 * r + 0.3576 * g + 0.1805 * b) / 0.95047;
    const double y = 0.2126 * r + 0.7152 * g + 0.0722 * b;
    const double z = (0.0193 * r + 0.1192 * g + 0.9505 * b) / 1.08883;
    const auto f = [](double t) { return t > 0.008856 ? std::cbrt(t) : 7.787 * t + 16.0 / 116; };
    return {116 * f(y) - 16, 500 * (f(x) - f(y)), 200 * (f(y) - f(z))};
}

double distance(const QColor& p, const QColor& q) {
    const Lab a = lab(p), b = lab(q);
    return std::hypot(a.l - b.l, a.a - b.a, a.b - b.b);
}

} // namespace

TEST(FamilyColorsTest, LegibleAndApartOnEveryDesktop) {
    const std::vector<std::string> families = {"Opus", "Sonnet", "Haiku", "Other", "Mythos"};
    for (const auto& [name, palette] : desktopPalettes()) {
        SCOPED_TRACE(name);
        const QColor window = palette.color(QPalette::Window);
        std::vector<QColor> colors;
        for (const auto& family : families) {
            const QColor c = FamilyColors::of(family, palette);
            EXPECT_GE(Theme::contrast(Theme::over(c, window), window), Theme::kGraphicContrast)
                << family;
            colors.push_back(Theme::over(c, window));
        }
        // Far enough apart in colour to tell the stacked segments apart at a glance.
        for (std::size_t i = 0; i < colors.size(); ++i)
            for (std::size_t j = i + 1; j < colors.size(); ++j)
                EXPECT_GT(distance(colors[i], colors[j]), 20)
                    << families[i] << " and " << families[j];
        // None of them is the accent: a blue accent no longer paints Sonnet like Haiku.
        EXPECT_NE(FamilyColors::of("Sonnet", palette), Theme::accent(palette));
    }
}

TEST(FamilyColorsTest, ANewFamilyKeepsItsColour) {
    const QPalette palette = desktopPalettes().front().palette;
    EXPECT_EQ(FamilyColors::of("Mythos", palette), FamilyColors::of("Mythos", palette));
    EXPECT_NE(FamilyColors::of("Opus", palette), FamilyColors::of("Sonnet", palette));
}
