#include "Limits.hpp"

#include "TempDir.hpp"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using namespace vellumkite;
using vellumkite::testing::ScopedEnv;
using vellumkite::testing::TempDir;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

const Instant kNow = fromUnixSeconds(1'750'000'000);

Clock fixedClock(Instant t = kNow) {
    return [t] { return t; };
}

class LimitsTest : public ::testing::Test {
protected:
    fs::path write(const std::string& content, const char* name = "statusline.json") {
        const fs::path p = dir_ / name;
        std::ofstream(p, std::ios::binary | std::ios::trunc) << content;
        return p;
    }

    // A file with the two windows given as JSON texts (nullptr leaves a window out).
    fs::path writeWindows(const char* fiveHour, const char* sevenDay) {
        std::string json = R"({"rate_limits":{)";
        if (fiveHour)
            json += std::string(R"("five_hour":)") + fiveHour;
        if (fiveHour && sevenDay)
            json += ",";
        if (sevenDay)
            json += std::string(R"("seven_day":)") + sevenDay;
        return write(json + "}}");
    }

    static std::string window(double used, double resetsAt) {
        return R"({"used_percentage":)" + std::to_string(used) + R"(,"resets_at":)" +
               std::to_string(resetsAt) + "}";
    }

    TempDir temp_;
    fs::path dir_ = temp_.path();
};

const double kNowSeconds = 1'750'000'000;

} // namespace

TEST_F(LimitsTest, MissingFileGivesNoReading) {
    EXPECT_EQ(Limits::load(dir_ / "nothing.json", fixedClock()), std::nullopt);
    EXPECT_EQ(Limits::load(fs::path(), fixedClock()), std::nullopt);
}

TEST_F(LimitsTest, EmptyRateLimitsGiveAReadingWithoutWindows) {
    const fs::path p = write(R"({"rate_limits":{}})");
    const timespec times[2] = {{1'700'000'000, 0}, {1'700'000'000, 123'456'789}};
    ASSERT_EQ(::utimensat(AT_FDCWD, p.c_str(), times, 0), 0);

    const auto limits = Limits::load(p, fixedClock());
    ASSERT_TRUE(limits);
    EXPECT_FALSE(limits->fiveHour);
    EXPECT_FALSE(limits->sevenDay);
    EXPECT_EQ(limits->savedAt, Instant{std::chrono::microseconds{1'700'000'000'123'456}});
}

TEST_F(LimitsTest, ReadsBothWindowsAsWritten) {
    const fs::path p = write(R"({"session":"x","rate_limits":{
        "five_hour":{"used_percentage":34,"resets_at":1750003600,"extra":[1,{"a":null}]},
        "seven_day":{"used_percentage":34.5,"resets_at":1750100000.25},
        "opus":{"used_percentage":"lots"}},
        "model":{"id":[true,false,null]}})");
    const auto limits = Limits::load(p, fixedClock());
    ASSERT_TRUE(limits);
    ASSERT_TRUE(limits->fiveHour);
    ASSERT_TRUE(limits->sevenDay);
    EXPECT_EQ(limits->fiveHour->usedPercent, 34.0);
    EXPECT_EQ(limits->fiveHour->resetsAt, fromUnixSeconds(1'750'003'600));
    EXPECT_EQ(limits->sevenDay->usedPercent, 34.5);
    EXPECT_EQ(limits->sevenDay->resetsAt, kNow + 100'000s + 250ms);
}

TEST_F(LimitsTest, PercentagesAreNotClamped) {
    const auto limits =
        Limits::load(writeWindows(window(120, kNowSeconds + 60).c_str(), nullptr), fixedClock());
    ASSERT_TRUE(limits && limits->fiveHour);
    EXPECT_EQ(limits->fiveHour->usedPercent, 120.0);
}

TEST_F(LimitsTest, AWindowEndsWhenItsResetTimeComes) {
    const fs::path p =
        writeWindows(window(50, kNowSeconds - 1).c_str(), window(50, kNowSeconds + 1).c_str());
    auto limits = Limits::load(p, fixedClock());
    ASSERT_TRUE(limits);
    EXPECT_FALSE(limits->fiveHour);
    ASSERT_TRUE(limits->sevenDay);
    EXPECT_EQ(limits->sevenDay->resetsAt, kNow + 1s);

    // Exactly at the reset time the window is already over.
    limits = Limits::load(p, fixedClock(kNow + 1s));
    ASSERT_TRUE(limits);
    EXPECT_FALSE(limits->sevenDay);
}

TEST_F(LimitsTest, MalformedWindowsAreDroppedOneByOne) {
    const std::string good = window(40, kNowSeconds + 600);
    for (const char* bad : {
             R"({"used_percentage":40,"resets_at":"2025-06-15T16:00:00Z"})",
             R"({"used_percentage":"40","resets_at":1750000600})",
             R"({"used_percentage":null,"resets_at":1750000600})",
             R"({"used_percentage":true,"resets_at":1750000600})", R"({"resets_at":1750000600})",
             R"({"used_percentage":40})", R"([40,1750000600])", R"(40)", R"(null)",
             static_cast<const char*>(nullptr), // no weekly window at all
         }) {
        const auto limits = Limits::load(writeWindows(good.c_str(), bad), fixedClock());
        const std::string what = bad ? bad : "(missing)";
        ASSERT_TRUE(limits) << what;
        EXPECT_TRUE(limits->fiveHour) << what;
        EXPECT_FALSE(limits->sevenDay) << what;
    }
}

TEST_F(LimitsTest, FarResetTimesSaturate) {
    const fs::path p = writeWindows(R"({"used_percentage":1e300,"resets_at":1e300})",
                                    R"({"used_percentage":50,"resets_at":-1e300})");
    const auto limits = Limits::load(p, fixedClock());
    ASSERT_TRUE(limits);
    ASSERT_TRUE(limits->fiveHour);
    EXPECT_EQ(limits->fiveHour->resetsAt, kDistantFuture);
    EXPECT_EQ(limits->fiveHour->usedPercent, 1e300);
    EXPECT_FALSE(limits->sevenDay);
}

TEST_F(LimitsTest, DocumentsWithoutRateLimitsGiveNoReading) {
    for (const char* text : {
             "",
             "   \n",
             R"({})",
             R"({"five_hour":{"used_percentage":40,"resets_at":1750000600}})",
             R"({"rate_limits":null})",
             R"({"rate_limits":[]})",
             R"({"rate_limits":"none"})",
             R"([{"rate_limits":{}}])",
             R"("rate_limits")",
             R"(42)",
         })
        EXPECT_EQ(Limits::load(write(text), fixedClock()), std::nullopt) << "'" << text << "'";
}

TEST_F(LimitsTest, MalformedJsonGivesNoReading) {
    for (const char* text : {
             R"({"rate_limits":{)",                      // cut off mid-write
             R"({"rate_limits":{}} {"rate_limits":{}})", // two documents
             R"({"rate_limits":{},})",                   // trailing comma
             R"({"rate_limits":{"five_hour":{"used_percentage":NaN,"resets_at":1}}})",
             R"({rate_limits:{}})",
             "\xef\xbb\xbf{\"rate_limits\":{}}",    // byte-order mark
             "{\"rate_limits\":{},\"x\":\"\xff\"}", // invalid UTF-8
         })
        EXPECT_EQ(Limits::load(write(text), fixedClock()), std::nullopt) << "'" << text << "'";
    EXPECT_EQ(Limits::load(write(std::string("{\"rate_limits\":{}}\0", 19)), fixedClock()),
              std::nullopt);
}

TEST_F(LimitsTest, OnlyRegularFilesAreRead) {
    const fs::path fifo = dir_ / "fifo.json";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(Limits::load(fifo, fixedClock()), std::nullopt); // returns at once, no writer needed

    const fs::path folder = dir_ / "folder.json";
    fs::create_directory(folder);
    EXPECT_EQ(Limits::load(folder, fixedClock()), std::nullopt);

    const fs::path zero = dir_ / "zero.json";
    fs::create_symlink("/dev/zero", zero);
    EXPECT_EQ(Limits::load(zero, fixedClock()), std::nullopt);

    // A link to a regular file is followed.
    const fs::path target = write(R"({"rate_limits":{}})", "target.json");
    const fs::path link = dir_ / "link.json";
    fs::create_symlink(target, link);
    EXPECT_TRUE(Limits::load(link, fixedClock()));
}

TEST_F(LimitsTest, FilesOverTheSizeLimitAreMalformed) {
    const std::string body = R"({"rate_limits":{}})";
    std::string exact = body + std::string(Limits::kMaxFileSize - body.size(), ' ');
    ASSERT_EQ(exact.size(), Limits::kMaxFileSize);
    EXPECT_TRUE(Limits::load(write(exact), fixedClock()));
    EXPECT_EQ(Limits::load(write(exact + " "), fixedClock()), std::nullopt);
}

TEST_F(LimitsTest, FileFollowsXdgDataHomeThenHome) {
#ifdef __APPLE__
    const ScopedEnv home("HOME", dir_.c_str());
    EXPECT_EQ(Limits::file(), dir_ / "Library/Application Support/Vellumkite/statusline.json");
#else
    const ScopedEnv home("HOME", dir_.c_str());
    {
        const ScopedEnv data("XDG_DATA_HOME", (dir_ / "data").c_str());
        EXPECT_EQ(Limits::file(), dir_ / "data/Vellumkite/statusline.json");
    }
    const fs::path fallback = dir_ / ".local/share/Vellumkite/statusline.json";
    {
        const ScopedEnv data("XDG_DATA_HOME", "relative/data");
        EXPECT_EQ(Limits::file(), fallback);
    }
    {
        const ScopedEnv data("XDG_DATA_HOME", "");
        EXPECT_EQ(Limits::file(), fallback);
    }
    const ScopedEnv data("XDG_DATA_HOME", nullptr);
    EXPECT_EQ(Limits::file(), fallback);
#endif
}
