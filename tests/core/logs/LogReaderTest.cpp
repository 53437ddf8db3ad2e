#include "LogReader.hpp"

#include "TempDir.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <vector>

using namespace vellumkite;
using vellumkite::testing::TempDir;
using vellumkite::testing::writeFile;

namespace {

struct Read {
    std::vector<std::string> lines;
    std::optional<std::uint64_t> consumed;
};

Read readRange(LogReader& reader, const std::filesystem::path& p, std::uint64_t start,
               std::uint64_t end) {
    const int fd = ::open(p.c_str(), O_RDONLY);
    Read out;
    out.consumed =
        reader.read(fd, start, end, [&](std::string_view l) { out.lines.emplace_back(l); });
    ::close(fd);
    return out;
}

} // namespace

TEST(LogReaderTest, HandsOutWholeLinesAcrossChunkBoundaries) {
    TempDir dir;
    std::string text;
    std::vector<std::string> expected;
    for (int i = 0; i < 50; ++i) {
        expected.push_back("line-" + std::to_string(i) + std::string(i % 13, 'x'));
        text += expected.back() + "\n";
        if (i % 7 == 0)
            text += "\n"; // blank lines are consumed but not handed out
    }
    text += "partial";
    writeFile(dir / "a", text);
    for (std::size_t chunk : {16u, 17u, 64u, 4096u}) {
        LogReader reader(chunk, 1024);
        const auto r = readRange(reader, dir / "a", 0, text.size());
        EXPECT_EQ(r.lines, expected) << chunk;
        ASSERT_TRUE(r.consumed);
        EXPECT_EQ(*r.consumed, text.size() - 7) << "the incomplete tail stays unconsumed";
    }
}

TEST(LogReaderTest, ReportsNothingWithoutALineFeed) {
    TempDir dir;
    writeFile(dir / "a", "no line feed yet");
    LogReader reader(16, 1024);
    const auto r = readRange(reader, dir / "a", 0, 16);
    EXPECT_TRUE(r.lines.empty());
    EXPECT_FALSE(r.consumed);
}

TEST(LogReaderTest, SkipsOverlongLinesWithoutHoldingThem) {
    TempDir dir;
    const std::string longLine(5000, 'y');
    const std::string text = "first\n" + longLine + "\nafter\n" + longLine; // last one unfinished
    writeFile(dir / "a", text);
    LogReader reader(64, 1000);
    const auto r = readRange(reader, dir / "a", 0, text.size());
    EXPECT_EQ(r.lines, (std::vector<std::string>{"first", "after"}));
    ASSERT_TRUE(r.consumed);
    EXPECT_EQ(*r.consumed, text.size() - longLine.size());
    EXPECT_LE(reader.capacity(), 1000u + 64u);
    reader.shrink();
    EXPECT_LE(reader.capacity(), 64u);
}

TEST(LogReaderTest, StopsAtTheGivenEndAndAtAShorterFile) {
    TempDir dir;
    writeFile(dir / "a", "one\ntwo\nthree\n");
    LogReader reader(16, 1024);
    auto r = readRange(reader, dir / "a", 4, 8);
    EXPECT_EQ(r.lines, std::vector<std::string>{"two"});
    EXPECT_EQ(r.consumed, 8u);
    // The size taken earlier is larger than the file now is: what is there is read, no more.
    r = readRange(reader, dir / "a", 0, 1000);
    EXPECT_EQ(r.lines, (std::vector<std::string>{"one", "two", "three"}));
    EXPECT_EQ(r.consumed, 14u);
}

TEST(LogReaderTest, AFileCutShortWhileReadGivesOnlyLinesThatWereThere) {
    // The file is cut while its first chunk is being handed out: what was read stays as it was
    // read, nothing that was not in the file comes out, and the reader stops there.
    TempDir dir;
    std::string text;
    for (int i = 0; i < 40000; ++i)
        text += "line " + std::to_string(i) + std::string(90, 'x') + "\n";
    writeFile(dir / "a", text);
    const int fd = ::open((dir / "a").c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    LogReader reader(4096, 1024);
    std::vector<std::pair<std::string, std::uint64_t>> seen;
    const auto consumed =
        reader.read(fd, 0, text.size(), [&](std::string_view line, std::uint64_t at) {
            if (seen.empty()) {
                ASSERT_EQ(::ftruncate(fd, 1000), 0);
            }
            seen.emplace_back(line, at);
        });
    ::close(fd);
    ASSERT_FALSE(seen.empty());
    for (const auto& [line, at] : seen)
        EXPECT_EQ(line, text.substr(at, line.size()));
    ASSERT_TRUE(consumed);
    EXPECT_LE(*consumed, 4096u);
    EXPECT_LT(seen.size(), 45u);
}

TEST(LogReaderTest, HandsOutLinesOfEveryLengthAroundChunkEdges) {
    TempDir dir;
    std::string text;
    std::vector<std::string> expected;
    for (int i = 0; i < 3000; ++i) {
        expected.push_back(std::string(static_cast<std::size_t>(i * 37 % 9000), 'a' + i % 26));
        text += expected.back() + "\n";
    }
    std::erase(expected, std::string());
    writeFile(dir / "a", text);
    for (const std::size_t chunk : {std::size_t{64}, std::size_t{5000}, std::size_t{1} << 20}) {
        LogReader reader(chunk, 8000);
        const auto r = readRange(reader, dir / "a", 0, text.size());
        std::vector<std::string> want;
        for (const auto& l : expected)
            if (l.size() <= 8000)
                want.push_back(l);
        EXPECT_EQ(r.lines, want) << chunk;
        EXPECT_EQ(r.consumed, text.size());
    }
}

TEST(LogReaderTest, SlicesCutAnywhereHandOutEveryLineOnce) {
    // Lines of every kind around the cuts: empty ones, one too long to hand out, and an
    // unfinished last one.
    TempDir dir;
    std::string text;
    for (int i = 0; i < 120; ++i) {
        text += std::string(static_cast<std::size_t>(i * 53 % 700), 'a' + i % 26) + "\n";
        if (i % 31 == 0)
            text += "\n";
        if (i == 60)
            text += std::string(3000, 'L') + "\n";
    }
    text += "unfinished";
    writeFile(dir / "a", text);
    const int fd = ::open((dir / "a").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    {
        LogReader reader(256, 2000);
        std::vector<std::pair<std::string, std::uint64_t>> whole;
        const auto consumed =
            reader.read(fd, 5, text.size(),
                        [&](std::string_view l, std::uint64_t at) { whole.emplace_back(l, at); });
        for (const std::uint64_t step : {3u, 97u, 700u, 2500u, 9000u}) {
            std::vector<std::pair<std::string, std::uint64_t>> sliced;
            std::optional<std::uint64_t> end;
            for (std::uint64_t from = 5; from < text.size(); from += step) {
                const auto s = reader.readSlice(
                    fd, from, from + step, text.size(), from == 5,
                    [&](std::string_view l, std::uint64_t at) { sliced.emplace_back(l, at); });
                if (from > 5 && s.begun) {
                    ASSERT_EQ(s.begun, end) << "a slice begins where the one before ended";
                }
                if (s.consumed)
                    end = s.consumed;
            }
            EXPECT_EQ(sliced, whole) << step;
            EXPECT_EQ(end, consumed) << step;
        }
    }
    ::close(fd);
}
