// The store and the limits loader under hostile conditions: a writer racing the reader, files
// vanishing, garbage, huge lines and huge trees. Each test is bounded so that a hang fails
// instead of stalling the run.
#include "Limits.hpp"
#include "LogLines.hpp"
#include "TempDir.hpp"
#include "Timestamp.hpp"
#include "UsageStore.hpp"

#include <atomic>
#include <fcntl.h>
#include <fstream>
#include <future>
#include <gtest/gtest.h>
#include <random>
#include <thread>
#include <unistd.h>

using namespace vellumkite;
using namespace vellumkite::testing;
using namespace std::chrono_literals;

namespace {

constexpr double kLookback = 691200;
const Instant kNow = *Timestamp::parse("2025-03-01T12:00:00.000Z");

// Runs f on another thread and fails the test if it does not finish in time.
template <typename F> void bounded(std::chrono::seconds limit, F&& f) {
    auto done = std::async(std::launch::async, std::forward<F>(f));
    ASSERT_EQ(done.wait_for(limit), std::future_status::ready) << "timed out: a hang";
    done.get();
}

Reply numbered(int i) {
    Reply r;
    r.messageId = "m" + std::to_string(i);
    r.sessionId = "s" + std::to_string(i % 3);
    r.timestamp = "2025-03-01T11:00:00.000Z";
    r.tools = {{"call" + std::to_string(i), "Read"}};
    return r;
}

long peakRssKib() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

} // namespace

TEST(FaultInjectionTest, WriterCuttingLinesAnywhereGetsEveryCompleteLineFiledExactlyOnce) {
    TempDir dir;
    const auto file = dir / "p/chat.jsonl";
    appendFile(file, "");
    constexpr int kLines = 3000;
    std::string all;
    for (int i = 0; i < kLines; ++i)
        all += replyLine(numbered(i)) + "\n";

    UsageStore store(dir.path(), kLookback, [] { return kNow; });
    std::atomic<bool> writing{true};
    bounded(120s, [&] {
        std::thread writer([&] {
            std::mt19937 rng(11);
            const int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
            for (std::size_t at = 0; at < all.size();) {
                const std::size_t n = std::min<std::size_t>(1 + rng() % 1500, all.size() - at);
                if (::write(fd, all.data() + at, n) != static_cast<ssize_t>(n))
                    break;
                at += n;
                if (rng() % 8 == 0)
                    std::this_thread::sleep_for(std::chrono::microseconds(rng() % 300));
            }
            ::close(fd);
            writing = false;
        });
        while (writing)
            store.refresh();
        writer.join();
        store.refresh();
    });
    ASSERT_EQ(store.turns().size(), static_cast<std::size_t>(kLines));
    for (int i = 0; i < kLines; ++i) {
        const auto it = store.turns().find("m" + std::to_string(i) + ":req_1");
        ASSERT_NE(it, store.turns().end()) << i;
        // A line filed twice would have merged its tool name in a second time.
        EXPECT_EQ(it->second.tools.size(), 1u) << i;
    }
    EXPECT_EQ(store.offset(file), all.size());
}

TEST(FaultInjectionTest, FilesDeletedAndRecreatedDuringPassesNeverBreakThem) {
    TempDir dir;
    UsageStore store(dir.path(), kLookback, [] { return kNow; });
    std::atomic<bool> churning{true};
    bounded(60s, [&] {
        std::thread churn([&] {
            for (int round = 0; round < 400; ++round) {
                const auto f = dir / ("p/f" + std::to_string(round % 7) + ".jsonl");
                if (round % 3 == 0) {
                    std::error_code ec;
                    std::filesystem::remove(f, ec);
                } else {
                    appendFile(f, replyLine(numbered(round)) + "\n");
                }
            }
            churning = false;
        });
        while (churning)
            store.refresh();
        churn.join();
    });
    // Whatever was read, a fresh store over what is left agrees with a new pass of ours on
    // every record that still exists on disk.
    store.refresh();
    UsageStore fresh(dir.path(), kLookback, [] { return kNow; });
    fresh.refresh();
    for (const auto& [key, turn] : fresh.turns())
        EXPECT_TRUE(store.turns().contains(key)) << key;
}

TEST(FaultInjectionTest, GarbageLinesYieldNothingAndLeaveTheRestIntact) {
    TempDir dir;
    std::string text = replyLine(numbered(1)) + "\n";
    text += "\xff\xfe\x80 \"type\":\"assistant\" \"usage\": \xc3\x28\n"; // invalid UTF-8
    std::mt19937 rng(5);
    std::string binary(64 * 1024, '\0');
    for (auto& c : binary)
        c = static_cast<char>(rng() % 256 == 10 ? 0 : rng());
    text += binary + "\n";
    text += std::string(1'000'000, '\n'); // a million blank lines
    text += R"({"type":"user","x":"tool_result","message":)" + std::string(200000, '[') + "\n";
    text +=
        R"({"type":"assistant","timestamp":"2025-03-01T11:00:00.000Z","message":{"id":"big","usage":{"input_tokens":123456789012345678901234567890}}})"
        "\n";
    text += replyLine(numbered(2)) + "\n";
    appendFile(dir / "p/chat.jsonl", text);
    UsageStore store(dir.path(), kLookback, [] { return kNow; });
    bounded(60s, [&] { store.refresh(); });
    EXPECT_EQ(store.turns().size(), 2u);
    EXPECT_TRUE(store.turns().contains("m1:req_1"));
    EXPECT_TRUE(store.turns().contains("m2:req_1"));
    EXPECT_EQ(store.offset(dir / "p/chat.jsonl"), text.size());
}

TEST(FaultInjectionTest, ATwoHundredMegabyteLineIsSkippedWithBoundedMemory) {
    TempDir dir;
    const auto file = dir / "p/chat.jsonl";
    {
        std::filesystem::create_directories(file.parent_path());
        std::ofstream out(file, std::ios::binary);
        out << R"({"type":"user","message":{"content":[{"type":"tool_result","content":")";
        const std::string block(1 << 20, 'a');
        for (int i = 0; i < 200; ++i)
            out << block;
        out << "\"}]}}\n" << replyLine(numbered(7)) << "\n";
    }
    UsageStore store(dir.path(), kLookback, [] { return kNow; });
    const long before = peakRssKib();
    bounded(120s, [&] { store.refresh(); });
    const long after = peakRssKib();
    EXPECT_EQ(store.turns().size(), 1u);
    EXPECT_EQ(store.offset(file), std::filesystem::file_size(file));
    // The line is never held whole: at most one 64 MiB line buffer (plus a chunk) is used.
    if (!kSanitized && before > 0) {
        EXPECT_LT(after - before, 100 * 1024) << "KiB of peak memory grew";
    }
}

TEST(FaultInjectionTest, FiftyThousandFilesAreAllReadOnceAndThenLeftAlone) {
    TempDir dir;
    constexpr int kFiles = 50000;
    for (int i = 0; i < kFiles; ++i) {
        const auto path =
            dir / ("p" + std::to_string(i % 100)) / ("f" + std::to_string(i) + ".jsonl");
        if (i < 100)
            std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << replyLine(numbered(i)) << "\n";
    }
    UsageStore store(dir.path(), kLookback, [] { return kNow; });
    bounded(300s, [&] {
        EXPECT_TRUE(store.refresh());
        EXPECT_FALSE(store.refresh());
    });
    EXPECT_EQ(store.turns().size(), static_cast<std::size_t>(kFiles));
}

TEST(FaultInjectionTest, LimitsFileOfTwoGigabytesIsRejectedWithoutReadingIt) {
    TempDir dir;
    const auto file = dir / "statusline.json";
    appendFile(file, R"({"rate_limits":{}})");
    std::filesystem::resize_file(file, std::uint64_t{2} << 30); // sparse: no disk used
    std::optional<Limits> limits;
    bounded(10s, [&] { limits = Limits::load(file); });
    EXPECT_FALSE(limits);
}

TEST(FaultInjectionTest, LimitsFileRewrittenDuringReadsGivesWholeReadingsOrNone) {
    TempDir dir;
    const auto file = dir / "statusline.json";
    const Instant now = kNow;
    const std::string a =
        R"({"rate_limits":{"five_hour":{"used_percentage":10,"resets_at":1740833000}}})";
    const std::string b =
        R"({"rate_limits":{"five_hour":{"used_percentage":20,"resets_at":1740834000},"seven_day":{"used_percentage":5,"resets_at":1741000000}}})";
    writeFile(file, a);
    std::atomic<bool> writing{true};
    int readings = 0;
    bounded(60s, [&] {
        std::thread writer([&] {
            for (int i = 0; i < 3000; ++i) {
                // Rewritten in place, not atomically: readers can catch it half-written.
                const int fd = ::open(file.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
                const std::string& text = i % 2 ? a : b;
                for (std::size_t at = 0; at < text.size(); at += 7)
                    (void)!::write(fd, text.data() + at,
                                   std::min<std::size_t>(7, text.size() - at));
                ::close(fd);
            }
            writing = false;
        });
        while (writing) {
            const auto limits = Limits::load(file, [&] { return now; });
            if (!limits)
                continue;
            ++readings;
            ASSERT_TRUE(limits->fiveHour);
            const double p = limits->fiveHour->usedPercent;
            // A torn read may mix the two versions into valid JSON, but never invents a value.
            ASSERT_TRUE(p == 10 || p == 20) << p;
        }
        writer.join();
    });
    EXPECT_GT(readings, 0);
}
