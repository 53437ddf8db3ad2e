#include "StatusLine.hpp"

#include "AtomicFile.hpp"
#include "TempDir.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace vellumkite;
using namespace vellumkite::testing;

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

TEST(StatusLineTest, ReplaceCreatesPrivateFoldersAndKeepsOldOnesAsTheyAre) {
    TempDir dir;
    ::chmod(dir.path().c_str(), 0755);
    const auto file = dir / "a/b/limits.json";
    ASSERT_TRUE(AtomicFile::replace(file, "one"));
    ASSERT_TRUE(AtomicFile::replace(file, "two"));
    struct stat st {};
    ::stat((dir / "a").c_str(), &st);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    ::stat(dir.path().c_str(), &st);
    EXPECT_EQ(st.st_mode & 07777, 0755u);
    ::stat(file.c_str(), &st);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(st.st_size, 3);

    // A file where a folder should be: a clean failure.
    writeFile(dir / "c", "x");
    EXPECT_FALSE(AtomicFile::replace(dir / "c/limits.json", "three"));
}

} // namespace
