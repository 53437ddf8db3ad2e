#include "StatusLine.hpp"

#include <gtest/gtest.h>

using namespace vellumkite;

namespace {

TEST(StatusLineTest, LineShowsOnlyWhatTheInputHas) {
    EXPECT_EQ(StatusLine::read(R"({"rate_limits":{"five_hour":{"used_percentage":12.5}}})").line,
              "5h 13%");
    EXPECT_EQ(StatusLine::read(R"({"rate_limits":{"seven_day":{"used_percentage":99.49}}})").line,
              "wk 99%");
    // Missing usage members count as none; one big enough gives the M form.
    EXPECT_EQ(StatusLine::read(
                  R"({"context_window":{"current_usage":{"cache_read_input_tokens":1250000}}})")
                  .line,
              "ctx 1.2M");
    // Wrong types are left out rather than guessed at.
    EXPECT_EQ(StatusLine::read(R"({"rate_limits":{"five_hour":{"used_percentage":"34"}},)"
                               R"("context_window":{"current_usage":{"input_tokens":1.5}}})")
                  .line,
              "Vellumkite");
    // A sum past the 64-bit range is no size at all.
    EXPECT_EQ(StatusLine::read(R"({"context_window":{"current_usage":{"input_tokens":)"
                               R"(9223372036854775807,"cache_read_input_tokens":1}}})")
                  .line,
              "Vellumkite");
}

TEST(StatusLineTest, SavesTheRateLimitsObjectWhateverItHolds) {
    // Members we do not read are kept: the file belongs to the assistant's format, not ours.
    const auto r = StatusLine::read(R"({"rate_limits": {"five_hour": null, "other": "\u00e9\n"}})");
    ASSERT_TRUE(r.limitsFile);
    EXPECT_EQ(*r.limitsFile, "{\"rate_limits\":{\"five_hour\":null,\"other\":\"\u00e9\\n\"}}\n");
    EXPECT_EQ(r.line, "Vellumkite");
    EXPECT_FALSE(StatusLine::read(R"({"rate_limits":null})").limitsFile);
}

} // namespace
