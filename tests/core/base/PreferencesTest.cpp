#include "Preferences.hpp"

#include <cmath>
#include <gtest/gtest.h>

using namespace vellumkite;

namespace {
PrefValue text(const char* s) {
    return PrefValue{std::string(s)};
}
} // namespace

TEST(PreferencesTest, ValuesReadAsDoublesByType) {
    EXPECT_EQ(PrefValue{95.5}.toDouble(), 95.5);
    EXPECT_EQ(PrefValue{true}.toDouble(), 1.0);
    EXPECT_EQ(PrefValue{false}.toDouble(), 0.0);
    EXPECT_EQ(PrefValue{}.toDouble(), 0.0);
    EXPECT_EQ(PrefValue{PrefValue::Other{}}.toDouble(), 0.0);
    EXPECT_FALSE(PrefValue{PrefValue::Other{}}.isAbsent());
}

TEST(PreferencesTest, TextReadsItsLeadingNumber) {
    EXPECT_EQ(text("0.25").toDouble(), 0.25);
    EXPECT_EQ(text("  \t12.5kg").toDouble(), 12.5);
    EXPECT_EQ(text("-1e3 tokens").toDouble(), -1000.0);
    EXPECT_EQ(text("12,5").toDouble(), 12.0); // a comma is never a decimal separator here
    EXPECT_EQ(text("abc").toDouble(), 0.0);
    EXPECT_EQ(text("").toDouble(), 0.0);
    EXPECT_EQ(text("no").toDouble(), 0.0); // a text is not a bool
}

TEST(PreferencesTest, MapMissesAsAbsent) {
    MapPreferences prefs({{"chatSoft", PrefValue{1000.0}}});
    EXPECT_EQ(prefs.lookup("chatSoft"), PrefValue{1000.0});
    EXPECT_TRUE(prefs.lookup("chatsoft").isAbsent());
}
