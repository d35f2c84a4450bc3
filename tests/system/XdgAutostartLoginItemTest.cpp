#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/std/DesktopEntry.h"
#include "platform/std/XdgAutostartLoginItem.h"
#include "support/SimPlatform.h"
#include "system/LoginItemController.h"

namespace tavuno {
namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void writeFile(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

fs::path makeExecutable(const fs::path& path) {
  writeFile(path, "#!/bin/sh\n");
  fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
  return path;
}

class XdgAutostartTest : public ::testing::Test {
 protected:
  test::ScopedLanguage language{test::englishCatalog()};
  fs::path root;
  fs::path autostart;
  fs::path executable;

  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "tavuno-autostart-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root = pattern;
    autostart = root / "config" / "autostart";  // not there yet: register creates it
    executable = makeExecutable(root / "bin" / "tavuno");
  }
  void TearDown() override { fs::remove_all(root); }

  XdgAutostartLoginItem item() const { return XdgAutostartLoginItem(autostart, executable); }
  fs::path entry() const { return autostart / "tavuno.desktop"; }
  std::vector<std::string> folderContents() const {
    std::vector<std::string> names;
    for (const auto& file : fs::directory_iterator(autostart))
      names.push_back(file.path().filename().string());
    return names;
  }
};

TEST_F(XdgAutostartTest, RegisterAndUnregisterRoundTrip) {
  auto login = item();
  EXPECT_EQ(login.status(), LoginItemStatus::notRegistered);

  ASSERT_TRUE(login.registerItem());
  EXPECT_EQ(login.status(), LoginItemStatus::enabled);
  EXPECT_EQ(folderContents(), std::vector<std::string>{"tavuno.desktop"}) << "no temporary left";
  EXPECT_EQ(fs::status(entry()).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                fs::perms::others_read);
  auto written = DesktopEntry::parse(readFile(entry()));
  ASSERT_TRUE(written);
  EXPECT_EQ(written->program(), executable.string());
  EXPECT_EQ(written->value("Exec"), executable.string() + " --background") << "no window at login";
  EXPECT_EQ(written->value("Type"), "Application");

  const std::string before = readFile(entry());
  ASSERT_TRUE(login.registerItem()) << "registering again is harmless";
  EXPECT_EQ(readFile(entry()), before);

  ASSERT_TRUE(login.unregister());
  EXPECT_FALSE(fs::exists(entry()));
  EXPECT_EQ(login.status(), LoginItemStatus::notRegistered);
  EXPECT_TRUE(login.unregister()) << "nothing to remove is not a failure";
}

TEST_F(XdgAutostartTest, AnAwkwardExecutablePathSurvivesTheExecLine) {
  executable = makeExecutable(root / "my \"apps\" $HOME 100% `x` \\ (a;b)" / "tavuno");
  auto login = item();
  ASSERT_TRUE(login.registerItem());
  EXPECT_EQ(login.status(), LoginItemStatus::enabled);
  EXPECT_EQ(DesktopEntry::parse(readFile(entry()))->program(), executable.string());

  executable = root / "bin\nExec=/bin/evil" / "tavuno";
  makeExecutable(executable);
  fs::remove(entry());
  auto refused = item().registerItem();
  ASSERT_FALSE(refused) << "a line break would let the path add its own keys";
  EXPECT_FALSE(fs::exists(entry()));
}

TEST_F(XdgAutostartTest, WithoutItsOwnExecutableNothingCanBeRegistered) {
  fs::remove(executable);
  auto login = item();
  EXPECT_EQ(login.status(), LoginItemStatus::notFound);
  auto result = login.registerItem();
  ASSERT_FALSE(result);
  EXPECT_EQ(result.error()->description, "Tavuno's executable was not found.");
  EXPECT_FALSE(fs::exists(entry()));

  EXPECT_EQ(XdgAutostartLoginItem(autostart, "").status(), LoginItemStatus::notFound);
}

TEST_F(XdgAutostartTest, HandWrittenEntriesAreNeverChanged) {
  const fs::path otherInstall = makeExecutable(root / "opt" / "tavuno");
  struct Row {
    const char* name;
    std::string text;
    LoginItemStatus status;
    bool registerSucceeds;
    bool unregisterSucceeds;
  };
  const Row rows[] = {
      {"starts another Tavuno install",
       "[Desktop Entry]\nType=Application\nName=Mine\nExec=" + otherInstall.string() + " --quiet\n",
       LoginItemStatus::enabled, true, false},
      {"switched off by the user",
       "[Desktop Entry]\nType=Application\nExec=" + executable.string() + "\nHidden=true\n",
       LoginItemStatus::notRegistered, false, true},
      {"points at a missing program",
       "[Desktop Entry]\nType=Application\nExec=" + (root / "gone" / "tavuno").string() + "\n",
       LoginItemStatus::notFound, false, true},
      {"starts some other program",
       "[Desktop Entry]\nType=Application\nExec=" +
           makeExecutable(root / "bin" / "other").string() + "\n",
       LoginItemStatus::notFound, false, true},
      {"not a desktop entry", "tavuno --start\n", LoginItemStatus::notFound, false, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    writeFile(entry(), row.text);
    auto login = item();
    EXPECT_EQ(login.status(), row.status);

    auto registered = login.registerItem();
    EXPECT_EQ(registered.ok(), row.registerSucceeds);
    if (!registered) {
      EXPECT_EQ(registered.error()->description,
                entry().string() +
                    " was written by hand and Tavuno will not change it; edit or remove it.");
    }
    EXPECT_EQ(readFile(entry()), row.text);

    EXPECT_EQ(login.unregister().ok(), row.unregisterSucceeds);
    EXPECT_EQ(readFile(entry()), row.text);
  }
}

TEST_F(XdgAutostartTest, ItsOwnEntryIsRewrittenWhenSwitchedOffOrStale) {
  const std::string managed = "[Desktop Entry]\nType=Application\nX-Tavuno-Managed=true\n";
  struct Row {
    const char* name;
    std::string text;
    LoginItemStatus status;
  };
  const Row rows[] = {
      {"switched off in the session settings",
       managed + "Exec=" + executable.string() + "\nX-GNOME-Autostart-enabled=false\n",
       LoginItemStatus::notRegistered},
      {"left behind by a moved install", managed + "Exec=/nowhere/tavuno\n",
       LoginItemStatus::notFound},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    writeFile(entry(), row.text);
    auto login = item();
    EXPECT_EQ(login.status(), row.status);
    ASSERT_TRUE(login.registerItem());
    EXPECT_EQ(login.status(), LoginItemStatus::enabled);
    EXPECT_EQ(readFile(entry()), *XdgAutostartLoginItem::entryText(executable));
  }
  ASSERT_TRUE(item().unregister());
  EXPECT_FALSE(fs::exists(entry()));
}

TEST_F(XdgAutostartTest, AnUnwritableFolderReachesTheSwitchAsAFormattedFailure) {
  writeFile(root / "config" / "autostart", "a file where the folder should be");
  auto login = item();
  LoginItemController controller(login);
  EXPECT_FALSE(controller.enabled());

  controller.setEnabled(true);
  EXPECT_FALSE(controller.enabled());
  EXPECT_EQ(login.status(), LoginItemStatus::notRegistered);
  const std::string prefix =
      "Could not change the start at login: could not write " + autostart.string() + " (";
  ASSERT_TRUE(controller.message());
  EXPECT_EQ(controller.message()->rfind(prefix, 0), 0u) << *controller.message();
}

TEST(DesktopEntry, ReadsTheProgramOfHandWrittenExecLines) {
  struct Row {
    const char* name;
    const char* text;
    std::optional<std::string> program;
  };
  const Row rows[] = {
      {"plain, with arguments", "[Desktop Entry]\nExec = /usr/bin/tavuno --x %U\n",
       "/usr/bin/tavuno"},
      {"an escaped space still splits words", "[Desktop Entry]\nExec=/a\\sb\n", "/a"},
      {"other groups and localised keys are skipped",
       "[Desktop Action x]\nExec=/wrong\n[Desktop Entry]\nExec[pt]=/errado\r\nExec=/right\r\n",
       "/right"},
      {"unterminated quote", "[Desktop Entry]\nExec=\"/a b\n", std::nullopt},
  };
  for (const Row& row : rows) {
    auto entry = DesktopEntry::parse(row.text);
    ASSERT_TRUE(entry) << row.name;
    EXPECT_EQ(entry->program(), row.program) << row.name;
  }
  EXPECT_FALSE(DesktopEntry::parse("Exec=/usr/bin/tavuno\n")) << "no group";
}

}  // namespace
}  // namespace tavuno
