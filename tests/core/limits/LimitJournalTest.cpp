#include "LimitJournal.hpp"

#include "LimitReading.hpp"
#include "TempDir.hpp"

#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace vellumkite;
using vellumkite::testing::TempDir;
namespace fs = std::filesystem;

namespace {

const Instant kAt = fromUnixSeconds(1'750'000'000.25);
const Instant kReset = fromUnixSeconds(1'750'010'000);

LimitReading reading(double fiveHour, Instant at = kAt, double weekly = 18) {
    return {
        at,
        {{"five_hour", fiveHour, kReset}, {"seven_day", weekly, fromUnixSeconds(1'750'400'000)}}};
}

std::vector<std::string> lines(const fs::path& p) {
    std::istringstream in(vellumkite::testing::readFile(p));
    std::vector<std::string> out;
    for (std::string l; std::getline(in, l);)
        out.push_back(l);
    return out;
}

TEST(LimitReadingTest, ReadsEveryWindowTheAssistantSentAndWritesItBackTheSame) {
    const auto r = LimitReading::fromLimitsFile(
        R"({"rate_limits":{"five_hour":{"used_percentage":34.5,"resets_at":1750010000},)"
        R"("seven_day_opus":{"used_percentage":3,"resets_at":1750400000,"extra":true},)"
        R"("broken":{"used_percentage":"x","resets_at":1},"five_hour":{"used_percentage":1,)"
        R"("resets_at":2},"odd":7}})",
        kAt);
    ASSERT_TRUE(r);
    ASSERT_EQ(r->windows.size(), 2u); // the repeated key counts once, as its first value
    EXPECT_EQ(r->windows[0], (LimitReading::Window{"five_hour", 34.5, kReset}));
    EXPECT_EQ(r->windows[1].name, "seven_day_opus");
    const std::string line = r->line();
    EXPECT_EQ(line, R"({"at":1750000000.25,"rate_limits":{"five_hour":{"used_percentage":34.5,)"
                    R"("resets_at":1750010000},"seven_day_opus":{"used_percentage":3,)"
                    R"("resets_at":1750400000}}})"
                    "\n");
    EXPECT_EQ(LimitReading::parse(std::string_view(line).substr(0, line.size() - 1)), r);

    EXPECT_FALSE(LimitReading::fromLimitsFile(R"({"rate_limits":{}})", kAt));
    EXPECT_FALSE(LimitReading::parse(R"({"rate_limits":{"five_hour":{"used_percentage":1,)"
                                     R"("resets_at":2}}})")); // no time
    EXPECT_FALSE(LimitReading::parse(R"({"at":1,"rate_limits":{"five_hour":{"used_perc)"));
}

TEST(LimitJournalTest, AppendsOnlyReadingsThatDifferPrivately) {
    TempDir dir;
    const fs::path journal = dir / "data/limit-readings.jsonl";
    EXPECT_EQ(LimitJournal::append(journal, reading(34)), LimitJournal::Appended::added);
    struct stat st {};
    ASSERT_EQ(::stat(journal.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // The same windows read later, or sent in another order: nothing new.
    EXPECT_EQ(LimitJournal::append(journal, reading(34, addSeconds(kAt, 60))),
              LimitJournal::Appended::unchanged);
    LimitReading swapped = reading(34, addSeconds(kAt, 90));
    std::swap(swapped.windows[0], swapped.windows[1]);
    EXPECT_EQ(LimitJournal::append(journal, swapped), LimitJournal::Appended::unchanged);
    // A percentage, a reset or a window that changes is a new reading.
    EXPECT_EQ(LimitJournal::append(journal, reading(35, addSeconds(kAt, 120))),
              LimitJournal::Appended::added);
    EXPECT_EQ(LimitJournal::append(journal, reading(35, addSeconds(kAt, 150), 19)),
              LimitJournal::Appended::added);
    LimitReading moved = reading(35, addSeconds(kAt, 180), 19);
    moved.windows[0].resetsAt = addSeconds(kReset, 1);
    EXPECT_EQ(LimitJournal::append(journal, moved), LimitJournal::Appended::added);
    LimitReading fewer = moved;
    fewer.windows.pop_back();
    EXPECT_EQ(LimitJournal::append(journal, fewer), LimitJournal::Appended::added);

    const auto kept = lines(journal);
    ASSERT_EQ(kept.size(), 5u);
    EXPECT_EQ(LimitReading::parse(kept[0]), reading(34));
    EXPECT_EQ(LimitReading::parse(kept[4]), fewer);

    // A file that others could read is made private.
    ASSERT_EQ(::chmod(journal.c_str(), 0644), 0);
    EXPECT_EQ(LimitJournal::append(journal, reading(36)), LimitJournal::Appended::added);
    ASSERT_EQ(::stat(journal.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(LimitJournalTest, EndsALastLineCutShortBeforeAppending) {
    TempDir dir;
    const fs::path journal = dir / "limit-readings.jsonl";
    const std::string first = reading(34).line();
    const std::string torn = reading(35).line().substr(0, 40);
    vellumkite::testing::writeFile(journal, first + torn);

    // The cut line is not the last reading: the one before it is.
    EXPECT_EQ(LimitJournal::append(journal, reading(34, addSeconds(kAt, 5))),
              LimitJournal::Appended::unchanged);
    EXPECT_EQ(LimitJournal::append(journal, reading(36)), LimitJournal::Appended::added);
    EXPECT_EQ(vellumkite::testing::readFile(journal), first + torn + "\n" + reading(36).line());
    // The cut line is now a line of its own that no reader takes, and the new one is whole.
    const auto kept = lines(journal);
    ASSERT_EQ(kept.size(), 3u);
    EXPECT_FALSE(LimitReading::parse(kept[1]));
    EXPECT_EQ(LimitJournal::append(journal, reading(36, addSeconds(kAt, 9))),
              LimitJournal::Appended::unchanged);
}

TEST(LimitJournalTest, NeverWritesThroughALinkOrIntoWhatIsNotAFile) {
    TempDir dir;
    const fs::path target = dir / "elsewhere.txt";
    vellumkite::testing::writeFile(target, "keep\n");
    const fs::path journal = dir / "limit-readings.jsonl";
    fs::create_symlink(target, journal);
    EXPECT_EQ(LimitJournal::append(journal, reading(34)), LimitJournal::Appended::failed);
    EXPECT_EQ(vellumkite::testing::readFile(target), "keep\n");

    const fs::path fifo = dir / "fifo.jsonl";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(LimitJournal::append(fifo, reading(34)), LimitJournal::Appended::failed);
    fs::create_directory(dir / "folder.jsonl");
    EXPECT_EQ(LimitJournal::append(dir / "folder.jsonl", reading(34)),
              LimitJournal::Appended::failed);
}

} // namespace
