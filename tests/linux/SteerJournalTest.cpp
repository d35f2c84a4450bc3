#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>

#include "linux/IdentityTempTree.h"
#include "platform/linux/SteerJournal.h"
#include "support/TempDir.h"

namespace tavuno {
namespace {

namespace fs = std::filesystem;

SteerRecord record(std::uint32_t node) {
  SteerRecord r;
  r.node = node;
  r.serial = 1000 + node;
  r.appPid = 4242;
  r.appStart = 77;
  r.sink = "builtin_speakers";
  r.tap = "tavuno.tap.1.1";
  r.ownerPid = 1;
  r.ownerStart = 5;
  return r;
}

class SteerJournalFiles : public ::testing::Test {
 protected:
  test::IdentityTempTree tree;
  const fs::path dir = tree.path("journal");
  const fs::path victim = tree.path("victim");

  void SetUp() override { tree.write("victim", "keep"); }
};

// Whatever stands under the journal's names is never written through: the journal's own
// files are replaced, what they pointed at stays as it was.
TEST_F(SteerJournalFiles, PlantedLinksAreNeverFollowed) {
  SteerJournal journal(dir.string());
  fs::create_symlink(victim, dir / "steered.json.tmp");
  ASSERT_TRUE(journal.add(record(1)));
  EXPECT_EQ(test::slurp(victim), "keep");
  EXPECT_EQ(journal.load(), std::vector<SteerRecord>{record(1)});
  EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "steered.json.tmp")));

  // A journal that is a link: its records are not read, and the rewrite replaces the link.
  tree.write("elsewhere.json", encodeSteerRecords({record(7)}));
  fs::remove(dir / "steered.json");
  fs::create_symlink(tree.path("elsewhere.json"), dir / "steered.json");
  EXPECT_TRUE(journal.load().empty());
  ASSERT_TRUE(journal.add(record(2)));
  EXPECT_EQ(fs::symlink_status(dir / "steered.json").type(), fs::file_type::regular);
  EXPECT_EQ(journal.load(), std::vector<SteerRecord>{record(2)});
  EXPECT_EQ(test::slurp(tree.path("elsewhere.json")), encodeSteerRecords({record(7)}));

  // A lock file that is a link, even to nothing yet, is refused rather than created through.
  fs::remove(dir / "steered.lock");
  fs::create_symlink(tree.path("planted-lock"), dir / "steered.lock");
  EXPECT_FALSE(journal.add(record(3)));
  EXPECT_FALSE(fs::exists(fs::symlink_status(tree.path("planted-lock"))));
  EXPECT_EQ(journal.load(), std::vector<SteerRecord>{record(2)});
}

TEST_F(SteerJournalFiles, AFolderNotTavunosUsersAloneIsRefused) {
  // Created private, with the folders above it.
  const fs::path nested = dir / "state" / "tavuno";
  {
    SteerJournal journal(nested.string());
    ASSERT_TRUE(journal.add(record(1)));
    struct stat info {};
    ASSERT_EQ(::lstat(nested.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
  }
  // Owned by another user (the tests run as root, for whom permissions prove nothing, so the
  // owner the journal expects is told instead).
  {
    SteerJournal journal(nested.string(), ::geteuid() + 1);
    EXPECT_FALSE(journal.add(record(2)));
    EXPECT_TRUE(journal.load().empty());
  }
  // Writable by others.
  fs::permissions(nested, fs::perms::all);
  EXPECT_FALSE(SteerJournal(nested.string()).add(record(2)));
  EXPECT_TRUE(SteerJournal(nested.string()).load().empty());
  fs::permissions(nested, fs::perms::owner_all);
  EXPECT_EQ(SteerJournal(nested.string()).load(), std::vector<SteerRecord>{record(1)});

  // A link to a private folder: nothing is written where it points.
  const fs::path link = tree.path("linked");
  fs::create_symlink(nested, link);
  EXPECT_FALSE(SteerJournal(link.string()).add(record(3)));
  EXPECT_TRUE(SteerJournal(link.string()).load().empty());
  EXPECT_EQ(SteerJournal(nested.string()).load(), std::vector<SteerRecord>{record(1)});
}

TEST(SteerJournalFolder, IsTheRuntimeFolderElseTheStateFolderNeverAShareOne) {
  auto dirWith = [](std::map<std::string, std::string> env) {
    return SteerJournal::defaultDir([&](const char* name) -> const char* {
      auto it = env.find(name);
      return it == env.end() ? nullptr : it->second.c_str();
    });
  };
  const std::map<std::string, std::string> home = {{"HOME", "/home/ana"}};
  EXPECT_EQ(dirWith({{"XDG_RUNTIME_DIR", "/run/user/1000"}, {"HOME", "/home/ana"}}),
            "/run/user/1000/tavuno");
  EXPECT_EQ(dirWith(home), "/home/ana/.local/state/tavuno");
  EXPECT_EQ(dirWith({{"XDG_STATE_HOME", "/home/ana/.st"}, {"HOME", "/home/ana"}}),
            "/home/ana/.st/tavuno");
  // Relative values are not folders of the user's: they fall through.
  EXPECT_EQ(dirWith({{"XDG_RUNTIME_DIR", "run"}, {"XDG_STATE_HOME", ""}, {"HOME", "/home/ana"}}),
            "/home/ana/.local/state/tavuno");
  // With nothing set, the home folder comes from the user database, or there is no journal.
  const std::string bare = dirWith({});
  EXPECT_FALSE(bare.starts_with("/tmp")) << bare;
  EXPECT_TRUE(bare.empty() || bare.ends_with("/.local/state/tavuno")) << bare;
  EXPECT_FALSE(SteerJournal("").add(record(1)));
}

}  // namespace
}  // namespace tavuno
