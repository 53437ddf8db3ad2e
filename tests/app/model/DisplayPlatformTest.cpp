#include "DisplayPlatform.hpp"

#include <gtest/gtest.h>

using namespace vellumkite;

TEST(DisplayPlatformTest, RunsOnXcbUnderWaylandOnlyWhenNobodyChose) {
    const auto pick = [](std::map<std::string, std::string, std::less<>> vars) {
        return DisplayPlatform::preferred(Environment(std::move(vars)));
    };
    EXPECT_EQ(pick({{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":0"}}), "xcb");
    // No X server to fall back on, or the user's own choice: left alone.
    EXPECT_EQ(pick({{"WAYLAND_DISPLAY", "wayland-0"}}), std::nullopt);
    EXPECT_EQ(pick({{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ""}}), std::nullopt);
    EXPECT_EQ(
        pick({{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":0"}, {"QT_QPA_PLATFORM", "wayland"}}),
        std::nullopt);
    EXPECT_EQ(pick({{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":0"}, {"QT_QPA_PLATFORM", ""}}),
              "xcb");
    // Plain X11 needs nothing.
    EXPECT_EQ(pick({{"DISPLAY", ":0"}}), std::nullopt);

    EXPECT_FALSE(DisplayPlatform::hasDisplay(Environment()));
    EXPECT_TRUE(DisplayPlatform::hasDisplay(
        Environment(std::map<std::string, std::string, std::less<>>{{"WAYLAND_DISPLAY", "w"}})));
}

TEST(DisplayPlatformTest, AMacAlwaysHasItsDisplayAndNeverAsksForXcb) {
    const Environment xquartz(std::map<std::string, std::string, std::less<>>{
        {"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", "/private/tmp/launch-x/org.xquartz:0"}});
    EXPECT_TRUE(DisplayPlatform::hasDisplay(Environment(), false));
    EXPECT_EQ(DisplayPlatform::preferred(xquartz, false), std::nullopt);
    EXPECT_EQ(DisplayPlatform::preferred(xquartz, true), "xcb");
}
