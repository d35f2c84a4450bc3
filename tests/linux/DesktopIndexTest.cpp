#include <gtest/gtest.h>

#include <filesystem>

#include "linux/IdentityTempTree.h"
#include "platform/linux/DesktopIndex.h"

namespace tavuno {
namespace {

std::string entry(const std::string& keys) {
  return "[Desktop Entry]\nType=Application\nExec=x\n" + keys;
}

class DesktopIndexTest : public ::testing::Test {
 protected:
  test::IdentityTempTree tree;
  void SetUp() override { std::filesystem::create_directories(tree.path("home")); }
  // The user's folder shadows the two system ones, in that order.
  std::vector<std::string> dirs() const {
    return {tree.path("home"), tree.path("local"), tree.path("usr")};
  }
};

TEST_F(DesktopIndexTest, NamesFollowTheLanguageChainWhateverTheProcessLocale) {
  tree.write("usr/applications/org.example.Player.desktop",
             entry("Name=Player\nName[pt]=Tocador\nName[pt_BR]=Reprodutor\nName[de]=Spieler\n"
                   "Icon=org.example.Player\n"));
  tree.write("usr/applications/recorder.desktop",
             entry("Name=Recorder\nName[pt]=Gravador\nName[en]=Sound Recorder\n"));
  tree.write("usr/applications/bad-name.desktop", entry("Name=Plain\nName[pt_BR]=N\xe3o UTF-8\n"));
  DesktopIndex index(dirs());

  EXPECT_EQ(index.name("org.example.Player", "pt"), "Reprodutor");
  EXPECT_EQ(index.name("org.example.Player", "en"), "Player");
  EXPECT_EQ(index.name("recorder", "pt"), "Gravador");
  EXPECT_EQ(index.name("recorder", "en"), "Sound Recorder");
  EXPECT_EQ(index.name("bad-name", "pt"), "Plain")
      << "a translation that is not text is passed over";
  EXPECT_EQ(index.icon("org.example.Player"), "org.example.Player");
  EXPECT_EQ(index.icon("recorder"), std::nullopt);
  EXPECT_EQ(index.name("org.example.Missing", "pt"), std::nullopt);
}

TEST_F(DesktopIndexTest, EarlierFoldersShadowLaterOnesAndHiddenRemovesTheId) {
  tree.write("home/applications/org.example.Player.desktop", entry("Name=Mine\n"));
  tree.write("usr/applications/org.example.Player.desktop", entry("Name=System\n"));
  tree.write("home/applications/org.example.Gone.desktop", entry("Hidden=true\n"));
  tree.write("usr/applications/org.example.Gone.desktop", entry("Name=Gone\n"));
  tree.write("usr/applications/kde4/konsole.desktop", entry("Name=Konsole\n"));
  tree.write("local/applications/helper.desktop", entry("Name=Helper\nNoDisplay=true\n"));
  tree.write("usr/applications/site.desktop",
             "[Desktop Entry]\nType=Link\nName=Site\nURL=http://x\n");
  tree.write("usr/applications/broken.desktop", "Name=No group\n");
  tree.write("usr/applications/notes.txt", entry("Name=Not a desktop file\n"));
  std::filesystem::create_directories(tree.path("usr/applications/folder.desktop"));
  DesktopIndex index(dirs());

  EXPECT_EQ(index.name("org.example.Player", "en"), "Mine");
  EXPECT_EQ(index.find("org.example.Gone"), nullptr);
  EXPECT_EQ(index.name("kde4-konsole", "en"), "Konsole");
  ASSERT_NE(index.find("helper"), nullptr);
  EXPECT_TRUE(index.find("helper")->noDisplay);
  for (const char* none : {"site", "broken", "notes", "folder", "konsole"})
    EXPECT_EQ(index.find(none), nullptr) << none;
}

TEST_F(DesktopIndexTest, ChangesToTheFoldersAreSeenAtTheNextPoll) {
  tree.write("usr/applications/org.example.Player.desktop", entry("Name=Player\n"));
  DesktopIndex index(dirs());
  EXPECT_FALSE(index.refreshIfChanged());
  const auto before = index.generation();
  ASSERT_EQ(index.name("org.example.Player", "en"), "Player");

  tree.write("usr/applications/org.example.Player.desktop", entry("Name=Renamed\n"));
  tree.write("usr/applications/games/chess.desktop", entry("Name=Chess\n"));
  EXPECT_TRUE(index.refreshIfChanged());
  EXPECT_EQ(index.name("org.example.Player", "en"), "Renamed");
  EXPECT_EQ(index.name("games-chess", "en"), "Chess");

  // The user's folder has no "applications" yet: creating it is noticed,
  // other files beside it are not.
  tree.write("home/recently-used.xbel", "x");
  EXPECT_FALSE(index.refreshIfChanged());
  tree.write("home/applications/org.example.Player.desktop", entry("Name=Mine\n"));
  EXPECT_TRUE(index.refreshIfChanged());
  EXPECT_EQ(index.name("org.example.Player", "en"), "Mine");

  std::filesystem::remove(tree.path("home/applications/org.example.Player.desktop"));
  EXPECT_TRUE(index.refreshIfChanged());
  EXPECT_EQ(index.name("org.example.Player", "en"), "Renamed");
  EXPECT_GT(index.generation(), before);
  EXPECT_FALSE(index.refreshIfChanged());
}

TEST(DesktopIndexDirs, UserFolderFirstRelativeEntriesIgnoredFlatpakExportsAdded) {
  EXPECT_EQ(DesktopIndex::dataDirsFrom("/home/u", nullptr, nullptr),
            (std::vector<std::string>{"/home/u/.local/share", "/usr/local/share", "/usr/share",
                                      "/home/u/.local/share/flatpak/exports/share",
                                      "/var/lib/flatpak/exports/share"}));
  EXPECT_EQ(DesktopIndex::dataDirsFrom("/home/u", "/data/",
                                       "rel:/var/lib/flatpak/exports/share/:/opt/share"),
            (std::vector<std::string>{"/data", "/var/lib/flatpak/exports/share", "/opt/share",
                                      "/data/flatpak/exports/share"}));
  EXPECT_EQ(DesktopIndex::dataDirsFrom(nullptr, "relative", ""),
            (std::vector<std::string>{"/usr/local/share", "/usr/share",
                                      "/var/lib/flatpak/exports/share"}));
}

}  // namespace
}  // namespace tavuno
