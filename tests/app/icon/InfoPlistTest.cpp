// The macOS bundle's Info.plist as CMake configures it, as far as Linux can check it.
#include "AppBundle.hpp"
#include "IconTool.hpp"
#include "TempDir.hpp"

#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <QFile>
#include <QXmlStreamReader>
#include <string>

using namespace vellumkite;
using vellumkite::testing::drawIcons;
using vellumkite::testing::TempDir;

namespace {

// The top-level dictionary of a property list, each value as its text (true and false as such);
// fails on anything that is not well-formed.
void readPlist(const QString& path, std::map<std::string, std::string>& values) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << qPrintable(path);
    QXmlStreamReader xml(&file);
    ASSERT_TRUE(xml.readNextStartElement());
    ASSERT_EQ(xml.name(), QLatin1String("plist"));
    ASSERT_TRUE(xml.readNextStartElement());
    ASSERT_EQ(xml.name(), QLatin1String("dict"));
    QString key;
    while (xml.readNextStartElement()) {
        if (xml.name() == QLatin1String("key")) {
            key = xml.readElementText();
            continue;
        }
        if (xml.name() == QLatin1String("string")) {
            values[key.toStdString()] = xml.readElementText().toStdString();
        } else {
            values[key.toStdString()] = xml.name().toString().toStdString();
            xml.skipCurrentElement();
        }
    }
    while (!xml.atEnd())
        xml.readNext();
    ASSERT_FALSE(xml.hasError()) << qPrintable(xml.errorString());
}

} // namespace

TEST(InfoPlistTest, NamesTheCompiledInDomainTheProgramAndTheIconToolsFile) {
    std::map<std::string, std::string> plist;
    ASSERT_NO_FATAL_FAILURE(readPlist(QStringLiteral(VELLUMKITE_INFO_PLIST), plist));
    for (const auto& [key, value] : plist) {
        EXPECT_EQ(value.find_first_of("$@"), std::string::npos)
            << key << " was not filled in: " << value;
    }
    // The identifier the preferences use as their defaults domain on macOS.
    EXPECT_EQ(plist["CFBundleIdentifier"], AppBundle::identifier().toStdString());
    EXPECT_EQ(plist["CFBundleExecutable"],
              std::filesystem::path(VELLUMKITE_APP_PATH).filename().string());
    EXPECT_EQ(plist["LSUIElement"], "true");

    // The icon it names is the file the icon tool writes.
    const std::string icon = plist["CFBundleIconFile"];
    ASSERT_FALSE(icon.empty());
    TempDir dir;
    ASSERT_NO_FATAL_FAILURE(drawIcons(dir.path()));
    EXPECT_EQ(vellumkite::testing::readFile(dir / icon).substr(0, 4), "icns");
}

// CMAKE_OSX_DEPLOYMENT_TARGET is set before project() in the top CMakeLists.txt; a configuration
// without it writes an empty version, which the test reports as skipped.
TEST(InfoPlistTest, AsksForTheDeploymentTarget) {
    std::map<std::string, std::string> plist;
    ASSERT_NO_FATAL_FAILURE(readPlist(QStringLiteral(VELLUMKITE_INFO_PLIST), plist));
    ASSERT_TRUE(plist.contains("LSMinimumSystemVersion"));
    const std::string minimum = plist["LSMinimumSystemVersion"];
    if (minimum.empty())
        GTEST_SKIP() << "CMAKE_OSX_DEPLOYMENT_TARGET is not set in this configuration";
    EXPECT_EQ(minimum, VELLUMKITE_MACOS_MINIMUM);
}
