// The macOS bundle's icon file as the icon tool writes it, read back the way a reader must.
#include "IcnsFile.hpp"

#include "AppIcon.hpp"
#include "IconTool.hpp"
#include "TempDir.hpp"

#include <array>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <span>
#include <string>
#include <sys/mman.h>
#include <vector>

using namespace vellumkite;
using vellumkite::testing::drawIcons;
using vellumkite::testing::TempDir;

namespace {

// The PNG types of an icon file and the side of the picture each must hold.
const std::map<std::string, int> kExpectedTypes = {
    {"icp4", 16},   {"icp5", 32}, {"icp6", 64}, {"ic07", 128}, {"ic08", 256}, {"ic09", 512},
    {"ic10", 1024}, {"ic11", 32}, {"ic12", 64}, {"ic13", 256}, {"ic14", 512}};

std::uint32_t bigEndian(std::string_view bytes, std::size_t at) {
    std::uint32_t n = 0;
    for (std::size_t i = 0; i < 4; ++i)
        n = (n << 8) | static_cast<unsigned char>(bytes[at + i]);
    return n;
}

// Reads an icon file strictly: the header's length is the file's size, and the entries, each
// at least its own header long, fill the rest exactly.
void parseIcns(std::string_view file, std::vector<std::pair<std::string, std::string>>& entries) {
    ASSERT_GE(file.size(), 8u);
    ASSERT_EQ(file.substr(0, 4), "icns");
    ASSERT_EQ(bigEndian(file, 4), file.size());
    std::size_t at = 8;
    while (at < file.size()) {
        ASSERT_LE(at + 8, file.size()) << "an entry's header is cut off";
        const std::uint32_t length = bigEndian(file, at + 4);
        ASSERT_GE(length, 8u);
        ASSERT_LE(at + length, file.size()) << "an entry runs past the end";
        entries.emplace_back(file.substr(at, 4), file.substr(at + 8, length - 8));
        at += length;
    }
    ASSERT_EQ(at, file.size());
}

QImage decoded(std::string_view png) {
    return QImage::fromData(reinterpret_cast<const uchar*>(png.data()),
                            static_cast<int>(png.size()), "PNG")
        .convertToFormat(QImage::Format_ARGB32);
}

} // namespace

TEST(IcnsFileTest, IconToolWritesEveryPngTypeAtItsSizeReusingTheHicolorPictures) {
    TempDir dir;
    ASSERT_NO_FATAL_FAILURE(drawIcons(dir.path()));
    const std::string file = vellumkite::testing::readFile(dir / "vellumkite.icns");
    std::vector<std::pair<std::string, std::string>> entries;
    ASSERT_NO_FATAL_FAILURE(parseIcns(file, entries));
    EXPECT_EQ(vellumkite::testing::fileMode(dir / "vellumkite.icns"), 0644u);

    std::map<std::string, int> found;
    for (const auto& [type, png] : entries) {
        SCOPED_TRACE(type);
        ASSERT_TRUE(kExpectedTypes.contains(type));
        EXPECT_TRUE(found.emplace(type, 0).second) << "twice";
        const int side = kExpectedTypes.at(type);
        ASSERT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
        const QImage picture = decoded(png);
        EXPECT_EQ(picture.size(), QSize(side, side));
        EXPECT_EQ(picture, AppIcon::image(side).convertToFormat(QImage::Format_ARGB32));
        const auto hicolor = dir / ("hicolor/" + std::to_string(side) + "x" + std::to_string(side) +
                                    "/apps/vellumkite.png");
        if (std::filesystem::exists(hicolor)) {
            EXPECT_TRUE(png == vellumkite::testing::readFile(hicolor)) << "not the hicolor file";
        }
    }
    EXPECT_EQ(found.size(), kExpectedTypes.size());
}

TEST(IcnsFileTest, EncodesBigEndianLengthsAndRefusesWhatPassesThirtyTwoBits) {
    const std::array<IcnsFile::Entry, 2> small = {{{"ic07", "PNG1"}, {"ic11", "P2"}}};
    using namespace std::string_literals;
    EXPECT_EQ(IcnsFile::encode(small), "icns\0\0\0\x1E"s
                                       "ic07\0\0\0\x0CPNG1"s
                                       "ic11\0\0\0\x0AP2"s);
    errno = 0;
    EXPECT_FALSE(IcnsFile::encode(std::array<IcnsFile::Entry, 1>{{{"ic7", "PNG"}}}));
    EXPECT_EQ(errno, EINVAL);

    // Address space only: refused sizes are never read, so no page of it is ever touched.
    constexpr std::size_t kFourGiB = std::size_t{1} << 32;
    void* space =
        ::mmap(nullptr, kFourGiB, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    ASSERT_NE(space, MAP_FAILED);
    const char* bytes = static_cast<const char*>(space);
    TempDir dir;
    vellumkite::testing::writeFile(dir / "vellumkite.icns", "before");
    // One picture whose entry alone reaches 4 GiB with the file's header; two that only do
    // together, each of them fitting by itself.
    const std::array<IcnsFile::Entry, 1> one = {{{"ic10", {bytes, kFourGiB - 16}}}};
    const std::array<IcnsFile::Entry, 2> two = {
        {{"ic10", {bytes, kFourGiB / 2}}, {"ic14", {bytes, kFourGiB / 2}}}};
    using Entries = std::span<const IcnsFile::Entry>;
    for (const Entries entries : {Entries(one), Entries(two)}) {
        errno = 0;
        EXPECT_FALSE(IcnsFile::write(dir / "vellumkite.icns", entries));
        EXPECT_EQ(errno, EFBIG);
    }
    ::munmap(space, kFourGiB);
    EXPECT_EQ(vellumkite::testing::readFile(dir / "vellumkite.icns"), "before");
    EXPECT_EQ(vellumkite::testing::folderEntries(dir.path()),
              std::vector<std::string>{"vellumkite.icns"});
}

// A second opinion from a reader of the format that is not ours, where it is installed.
TEST(IcnsFileTest, IcnsutilsReadsTheIconFile) {
    const QString icns2png = QStandardPaths::findExecutable(QStringLiteral("icns2png"));
    if (icns2png.isEmpty())
        GTEST_SKIP() << "icns2png (icnsutils) is not installed";
    TempDir dir;
    ASSERT_NO_FATAL_FAILURE(drawIcons(dir.path()));
    const QString icns = QString::fromStdString((dir / "vellumkite.icns").string());
    const auto run = [&](const QStringList& arguments) {
        QProcess reader;
        reader.start(icns2png, arguments);
        EXPECT_TRUE(reader.waitForFinished(60000));
        EXPECT_EQ(reader.exitCode(), 0) << reader.readAllStandardError().toStdString();
        return reader.readAllStandardOutput().toStdString();
    };
    // It walks every entry; of the PNG types it decodes only ic08 to ic10.
    EXPECT_NE(run({QStringLiteral("-l"), icns}).find("11 elements total"), std::string::npos);
    run({QStringLiteral("-x"), QStringLiteral("-s"), QStringLiteral("256x256"),
         QStringLiteral("-o"), QString::fromStdString(dir.path().string()), icns});
    const QImage picture(QString::fromStdString((dir / "vellumkite_256x256x32.png").string()));
    EXPECT_EQ(picture.convertToFormat(QImage::Format_ARGB32),
              AppIcon::image(256).convertToFormat(QImage::Format_ARGB32));
}
