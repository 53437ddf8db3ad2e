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
