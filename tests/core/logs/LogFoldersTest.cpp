#include "LogFolders.hpp"

#include "AssistantConfig.hpp"
#include "TempDir.hpp"

#include <gtest/gtest.h>

using namespace vellumkite;
using namespace vellumkite::testing;
namespace fs = std::filesystem;

namespace {

Environment env(std::map<std::string, std::string, std::less<>> vars) {
    return Environment(std::move(vars));
}

} // namespace

TEST(LogFoldersTest, TheConfigVariableListsConfigurationAndLogsFoldersEachOnce) {
    TempDir dir;
    fs::create_directories(dir / "conf/projects");
    fs::create_directories(dir / "logs/-home-you-app");
    fs::create_directory_symlink(dir / "conf", dir / "link");
    const std::string list = (dir / "conf").string() + ", " + (dir / "logs").string() + ",," +
                             (dir / "gone").string() + "," + (dir / "conf/").string() + "," +
                             (dir / "link").string() + "," + (dir / "conf/projects").string();
    const auto found = LogFolders::find(env({{"CLAUDE_CONFIG_DIR", list}, {"HOME", dir.path()}}));
    EXPECT_EQ(found.folders, (std::vector<fs::path>{dir / "conf/projects", dir / "logs"}));
    EXPECT_EQ(found.missing, (std::vector<std::string>{(dir / "gone").string()}));
    EXPECT_EQ(AssistantConfig::folder(env({{"CLAUDE_CONFIG_DIR", list}})), dir / "conf");
}

TEST(LogFoldersTest, WithoutTheVariableTheHomeFolderAndTheOlderConfigFolder) {
    TempDir dir;
    const auto home = dir / "home";
    // The usual folder is listed before it exists; the older one only when it does.
    EXPECT_EQ(LogFolders::find(env({{"HOME", home.string()}})).folders,
              (std::vector<fs::path>{home / ".claude/projects"}));
    EXPECT_EQ(LogFolders::find(env({{"HOME", home.string()}, {"CLAUDE_CONFIG_DIR", ""}})).folders,
              (std::vector<fs::path>{home / ".claude/projects"}))
        << "an empty variable counts as unset";

    fs::create_directories(home / ".claude/projects");
    fs::create_directories(home / ".config/claude/projects");
    EXPECT_EQ(LogFolders::find(env({{"HOME", home.string()}})).folders,
              (std::vector<fs::path>{home / ".claude/projects", home / ".config/claude/projects"}));

    fs::create_directories(dir / "xdg/claude/projects");
    EXPECT_EQ(LogFolders::find(
                  env({{"HOME", home.string()}, {"XDG_CONFIG_HOME", (dir / "xdg").string()}}))
                  .folders,
              (std::vector<fs::path>{home / ".claude/projects", dir / "xdg/claude/projects"}));
    // A relative XDG_CONFIG_HOME is ignored, as the XDG rules say.
    EXPECT_EQ(LogFolders::find(env({{"HOME", home.string()}, {"XDG_CONFIG_HOME", "xdg"}})).folders,
              (std::vector<fs::path>{home / ".claude/projects", home / ".config/claude/projects"}));
    EXPECT_EQ(AssistantConfig::settingsFile(env({{"HOME", home.string()}})),
              home / ".claude/settings.json");
}
