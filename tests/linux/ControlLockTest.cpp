#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "base/text/TavunoLanguage.h"
#include "platform/linux/ControlLock.h"
#include "platform/linux/LinuxSessionFactory.h"
#include "support/TempDir.h"
#include "tests/linux/session/SessionTestPlane.h"

namespace tavuno {
namespace {

namespace fs = std::filesystem;

// flock belongs to the open file description, so two locks in this one process stand for two
// Tavuno processes: the second is refused at once, and gets it once the first lets go.
TEST(ControlLock, OneHolderAtATimeWithoutWaiting) {
  test::TempDir dir;
  const std::string folder = (dir.path() / "tavuno").string();
  auto first = std::make_unique<ControlLock>(folder);
  ASSERT_TRUE(first->held());
  struct stat info {};
  ASSERT_EQ(::stat((dir.path() / "tavuno/control.lock").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);

  ControlLock second(folder);
  EXPECT_FALSE(second.held());
  EXPECT_FALSE(second.tryAcquire());

  first.reset();
  EXPECT_TRUE(second.tryAcquire());
  EXPECT_TRUE(second.held());
  EXPECT_FALSE(ControlLock(folder).held());
}

// Compositions of one process share its lock: the desktop app started again in a test binary,
// or two factories, are one Tavuno; another holder is still refused.
TEST(ControlLock, OneLockPerProcessAndFolder) {
  test::TempDir a, b;
  auto lock = ControlLock::forProcess(a.path().string());
  auto again = ControlLock::forProcess(a.path().string());
  EXPECT_EQ(lock, again);
  EXPECT_TRUE(lock->held());
  EXPECT_FALSE(ControlLock(a.path().string()).held());
  EXPECT_TRUE(ControlLock::forProcess(b.path().string())->held());
}

// What someone planted in the runtime folder is neither followed nor written through.
TEST(ControlLock, RefusesALinkOrAnythingButItsOwnFile) {
  test::TempDir dir;
  const fs::path elsewhere = dir.path() / "elsewhere";
  fs::create_directory(dir.path() / "linked");
  fs::create_symlink(elsewhere, dir.path() / "linked/control.lock");
  EXPECT_FALSE(ControlLock((dir.path() / "linked").string()).held());
  EXPECT_FALSE(fs::exists(elsewhere));

  fs::create_directory(elsewhere);
  fs::create_directory_symlink(elsewhere, dir.path() / "folder-link");
  EXPECT_FALSE(ControlLock((dir.path() / "folder-link").string()).held());
  EXPECT_FALSE(fs::exists(elsewhere / "control.lock"));

  fs::create_directories(dir.path() / "taken/control.lock");
  EXPECT_FALSE(ControlLock((dir.path() / "taken").string()).held());
}

// A second service keeps its devices but its per-application sessions refuse to start, with
// a message for the user; control passes on when the first one goes.
TEST(ControlLock, ASessionOfTheServiceWithoutTheLockRefusesToStart) {
  test::TempDir dir;
  auto other = std::make_unique<ControlLock>(dir.path().string());
  ASSERT_TRUE(other->held());
  test::SessionTestPlane plane;
  plane.pids[100] = ::getpid();
  LinuxSessionFactory sessions(plane, dir.path().string());
  EXPECT_FALSE(sessions.controlsApps());

  auto session = sessions.factory()(false);
  ASSERT_TRUE(session);
  AudioDevice output;
  output.id = 1;
  output.output = true;
  const auto failure = session->start({100}, output);
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->kind(), SessionFailure::Kind::unsupported);
  EXPECT_EQ(failure->errorDescription(),
            tr("Outro Tavuno já controla os aplicativos nesta sessão; encerre-o para controlá-los "
               "aqui."));
  EXPECT_FALSE(fs::exists(dir.path() / "steered.json"));

  other.reset();
  EXPECT_TRUE(sessions.controlsApps());
}

}  // namespace
}  // namespace tavuno
