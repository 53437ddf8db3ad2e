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

TEST_F(LimitsTest, WindowsNoTrueReadingHasAreDroppedAndTheWriterRefusesThem) {
    const auto text = [](const std::string& fiveHour, const std::string& sevenDay) {
        return R"({"rate_limits":{"five_hour":)" + fiveHour + R"(,"seven_day":)" + sevenDay + "}}";
    };
    const std::string good = window(40, kNowSeconds + 600);
    const double eightDays = 8 * 86400;
    struct Case {
        const char* name;
        std::string window;
        const char* refused; // the writer's reason; nullptr when it saves the reading
        bool read;           // whether the reader shows the window
    };
    for (const Case& c : {
             Case{"milliseconds", window(40, (kNowSeconds + 600) * 1000), "more than 8 days ahead",
                  false},
             Case{"far future", R"({"used_percentage":50,"resets_at":1e300})",
                  "five_hour.resets_at 1e+300 is more than 8 days ahead", false},
             Case{"eight days ahead", window(40, kNowSeconds + eightDays), nullptr, true},
             Case{"past eight days", window(40, kNowSeconds + eightDays + 1), "8 days", false},
             Case{"negative", window(-0.5, kNowSeconds + 600),
                  "five_hour.used_percentage -0.5 is outside 0 to 1000", false},
             Case{"too many", window(1000.5, kNowSeconds + 600), "outside 0 to 1000", false},
             Case{"huge", R"({"used_percentage":1e300,"resets_at":1750000600})", "1e+300", false},
             Case{"bounds", window(1000, kNowSeconds + 600), nullptr, true},
             Case{"empty", window(0, kNowSeconds + 600), nullptr, true},
             // Over, but within the window's length: a true reading of a window that has reset.
             Case{"just over", window(40, kNowSeconds - 5 * 3600), nullptr, false},
             Case{"long over", window(40, kNowSeconds - 5 * 3600 - 1),
                  "further in the past than the window is long", false},
         }) {
        SCOPED_TRACE(c.name);
        const std::string file = text(c.window, good);
        const auto why = Limits::refusal(file, kNow);
        EXPECT_EQ(why.has_value(), c.refused != nullptr) << why.value_or("");
        if (c.refused && why) {
            EXPECT_NE(why->find(c.refused), std::string::npos) << *why;
        }
        // The reader keeps the other window, and never shows one the writer would refuse.
        const auto limits = Limits::load(write(file), fixedClock());
        ASSERT_TRUE(limits);
        EXPECT_EQ(limits->fiveHour.has_value(), c.read);
        EXPECT_TRUE(limits->sevenDay);
    }
    // The weekly window is as long as a week.
    EXPECT_FALSE(Limits::refusal(text(good, window(1, kNowSeconds - 6 * 86400)), kNow));
    EXPECT_TRUE(Limits::refusal(text(good, window(1, kNowSeconds - 7 * 86400 - 1)), kNow));
    // The writer saves nothing the reader would not read: one size limit for both.
    const std::string body = R"({"rate_limits":{}})";
    const std::string big = body + std::string(Limits::kMaxFileSize - body.size() + 1, ' ');
    EXPECT_NE(Limits::refusal(big, kNow).value_or("").find("over the 1 MiB"), std::string::npos);
    EXPECT_FALSE(Limits::load(write(big), fixedClock()));
    EXPECT_FALSE(Limits::refusal(big.substr(0, big.size() - 1), kNow));
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
