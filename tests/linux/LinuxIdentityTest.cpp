#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <future>

#include "engine/ApplicationIdentity.h"
#include "linux/IdentityTempTree.h"
#include "platform/linux/LinuxIdentity.h"
#include "platform/linux/ProcFs.h"
#include "platform/linux/ProcessLookup.h"

namespace tavuno {
namespace {

namespace fs = std::filesystem;

constexpr uid_t user = 1000;
const std::string scopes = "0::/user.slice/user-1000.slice/user@1000.service/app.slice/";

struct FakeProcess {
  std::int32_t pid;
  std::uint64_t start = 1000;
  uid_t uid = user;
  std::string cgroup = "0::/user.slice/user-1000.slice/session-2.scope\n";
  std::string executable = "/usr/bin/bash";
  std::string comm = "bash";
  std::string flatpakInfo;  // none when empty
  std::string nsPids;       // "NSpid:" values; the pid alone when empty
};

class LinuxIdentityTest : public ::testing::Test {
 protected:
  test::IdentityTempTree tree;
  std::map<std::int32_t, PropertyMaps> server;
  std::string language = "pt";
  std::unique_ptr<DesktopIndex> desktop;
  std::unique_ptr<LinuxIdentity> identity;

  void SetUp() override {
    fs::create_directories(tree.path("proc"));
    app("org.example.Player", "Name=Player\nName[pt_BR]=Reprodutor\nIcon=player-icon\n");
    app("org.flat.Game", "Name=Game\n");
    app("org.example.Radio", "Name=Radio\n");
    app("org.example.Helper", "Name=Helper\nNoDisplay=true\n");
    desktop = std::make_unique<DesktopIndex>(std::vector<std::string>{tree.path("share")});
    identity = std::make_unique<LinuxIdentity>(
        *desktop,
        LinuxIdentity::Options{.procRoot = tree.path("proc"),
                               .serverProperties = [this](std::int32_t pid) { return server[pid]; },
                               .language = [this] { return language; },
                               .ownPid = 500,
                               .uid = user});
  }

  void app(const std::string& id, const std::string& keys) {
    tree.write("share/applications/" + id + ".desktop",
               "[Desktop Entry]\nType=Application\nExec=x\n" + keys);
  }
  void process(const FakeProcess& p) {
    const std::string dir = "proc/" + std::to_string(p.pid) + "/";
    // A replaced process's folder is kept aside, so the new one cannot get
    // its inode back, just as /proc never hands it to another process.
    if (fs::exists(tree.path(dir)))
      fs::rename(tree.path(dir),
                 tree.path("gone-" + std::to_string(p.pid) + "-" + std::to_string(p.start)));
    // The name holds a space and a parenthesis, as a command name may.
    std::string stat = std::to_string(p.pid) + " (a (b) c) S 1";
    for (int field = 5; field <= 21; ++field)
      stat += " 0";
    tree.write(dir + "stat", stat + " " + std::to_string(p.start) + " 4096 1\n");
    tree.write(dir + "status", "Name:\tx\nUid:\t" + std::to_string(p.uid) + "\t0\t0\t0\nNSpid:\t" +
                                   (p.nsPids.empty() ? std::to_string(p.pid) : p.nsPids) + "\n");
    tree.write(dir + "cgroup", p.cgroup);
    tree.write(dir + "comm", p.comm + "\n");
    fs::create_symlink(p.executable, tree.path(dir + "exe"));
    if (!p.flatpakInfo.empty()) tree.write(dir + "root/.flatpak-info", p.flatpakInfo);
  }
  std::vector<std::pair<std::string, std::string>> listed() {
    std::vector<std::pair<std::string, std::string>> apps;
    for (const auto& app : identity->runningApplications())
      apps.emplace_back(app.bundleIdentifier.value_or("?") + "@" + std::to_string(app.pid),
                        app.localizedName.value_or("?"));
    return apps;
  }
};

TEST_F(LinuxIdentityTest, ListsOnlyTheUsersDesktopApplicationsOncePerApp) {
  process({.pid = 100, .cgroup = scopes + "app-gnome-org.example.Player-31.scope\n"});
  process({.pid = 101, .cgroup = scopes + "app-gnome-org.example.Player-31.scope\n"});
  process({.pid = 200, .uid = 0, .cgroup = scopes + "app-org.flat.Game-1.scope\n"});
  process({.pid = 300});  // a shell: named after its executable, no desktop file
  process({.pid = 400, .cgroup = scopes + "app-org.example.Helper-2.scope\n"});
  process({.pid = 500, .cgroup = scopes + "app-org.example.Radio-3.scope\n"});  // ourselves
  process({.pid = 600,
           .executable = "/app/bin/game",
           .flatpakInfo = "[Application]\nname=org.flat.Game\n"});
  process({.pid = 700, .executable = "/usr/bin/pacat", .comm = "paplay"});
  server[700] = {{{"application.id", "org.example.Radio"}}};

  using Apps = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(listed(), (Apps{{"org.example.Player@100", "Reprodutor"},
                            {"org.flat.Game@600", "Game"},
                            {"org.example.Radio@700", "Radio"}}));
  language = "en";
  EXPECT_EQ(listed()[0].second, "Player");
}

TEST_F(LinuxIdentityTest, ACachedProcessIsReadAgainOnlyWhenItsPidIsReused) {
  process({.pid = 100, .start = 1000, .cgroup = scopes + "app-org.example.Player-1.scope\n"});
  EXPECT_EQ(identity->runningApplication(100)->bundleIdentifier, "org.example.Player");

  // Same process (same start time): what /proc said is not read again.
  tree.write("proc/100/cgroup", scopes + "app-org.example.Radio-1.scope\n");
  EXPECT_EQ(identity->runningApplication(100)->bundleIdentifier, "org.example.Player");
  EXPECT_EQ(listed().size(), 1u);

  // The pid now belongs to a new process.
  process({.pid = 100, .start = 2000, .cgroup = scopes + "app-org.example.Radio-1.scope\n"});
  EXPECT_EQ(identity->runningApplication(100)->bundleIdentifier, "org.example.Radio");
  EXPECT_EQ(listed().at(0).first, "org.example.Radio@100");
}

TEST_F(LinuxIdentityTest, AnUnreadableProcessIsNamedByPidInTheCore) {
  // Its stat is a folder: nothing of /proc is trusted, nor is it listed.
  process({.pid = 800, .cgroup = scopes + "app-org.example.Player-1.scope\n"});
  fs::remove(tree.path("proc/800/stat"));
  fs::create_directories(tree.path("proc/800/stat"));
  server[800] = {{{"application.name", "Some Stream"}}};
  auto app = identity->runningApplication(800);
  ASSERT_TRUE(app);
  EXPECT_EQ(app->bundleIdentifier, std::nullopt);
  EXPECT_EQ(app->localizedName, "Some Stream");
  EXPECT_EQ(ApplicationIdentity::resolveProcess(*identity, 800)->id, "pid:800");
  EXPECT_TRUE(listed().empty());

  // A pid that is nowhere, with nothing from the server: still a name.
  EXPECT_EQ(identity->runningApplication(901)->localizedName, "901");
  EXPECT_EQ(ApplicationIdentity::resolveProcess(*identity, 901)->id, "pid:901");
  EXPECT_EQ(identity->runningApplication(0), std::nullopt);
}

TEST_F(LinuxIdentityTest, NamesIconsAndPathsOfOneProcess) {
  process({.pid = 100, .executable = "/usr/bin/pacat (deleted)", .comm = "paplay"});
  server[100] = {{{"application.name", "paplay"}, {"application.icon_name", "audio-x-generic"}}};
  auto app = identity->runningApplication(100);
  EXPECT_EQ(app->bundleIdentifier, "pacat");
  EXPECT_EQ(app->localizedName, "paplay");
  EXPECT_EQ(app->bundlePath, std::nullopt);
  EXPECT_EQ(identity->executablePath(100), "/usr/bin/pacat");
  EXPECT_EQ(identity->openBundle("/usr/bin"), std::nullopt);
  EXPECT_EQ(identity->iconName("pacat"), "audio-x-generic");

  process({.pid = 101, .comm = "player"});
  server[101] = {{{"application.id", "org.example.Player"}, {"application.icon_name", "x"}}};
  EXPECT_EQ(identity->runningApplication(101)->localizedName, "Reprodutor");
  EXPECT_EQ(identity->iconName("org.example.Player"), "player-icon") << "the desktop file's first";
  EXPECT_EQ(identity->iconName("org.unknown"), std::nullopt);
}

TEST_F(LinuxIdentityTest, FlatpakHostPidIsTheOneProcessOfThatAppInANamespace) {
  const std::string game = "[Application]\nname=org.flat.Game\n";
  process({.pid = 10, .flatpakInfo = game, .nsPids = "10\t2"});
  process({.pid = 11, .flatpakInfo = "[Application]\nname=org.flat.Other\n", .nsPids = "11\t2"});
  process({.pid = 2});  // the host's own pid 2
  const std::string proc = tree.path("proc");
  EXPECT_EQ(flatpakHostPid(proc, 2, "org.flat.Game"), 10);
  EXPECT_EQ(flatpakHostPid(proc, 3, "org.flat.Game"), std::nullopt);
  process({.pid = 12, .flatpakInfo = game, .nsPids = "12\t2"});  // a second instance
  EXPECT_EQ(flatpakHostPid(proc, 2, "org.flat.Game"), std::nullopt) << "ambiguous";
}

// A client claiming a sandbox no process is in is answered from memory for a while, not by a
// walk over every process at each snapshot; the answer is looked for again later.
TEST_F(LinuxIdentityTest, AHostPidNoProcessAnswersIsNotLookedForAtEachSnapshot) {
  auto now = std::chrono::steady_clock::time_point{};
  ProcessLookup lookup = procProcessLookup(tree.path("proc"), [&] { return now; });
  EXPECT_EQ(lookup.hostPid(2, "org.flat.Game"), std::nullopt);
  process({.pid = 10, .flatpakInfo = "[Application]\nname=org.flat.Game\n", .nsPids = "10\t2"});
  now += std::chrono::seconds(9);
  EXPECT_EQ(lookup.hostPid(2, "org.flat.Game"), std::nullopt) << "remembered";
  process({.pid = 11, .flatpakInfo = "[Application]\nname=org.flat.Other\n", .nsPids = "11\t2"});
  EXPECT_EQ(lookup.hostPid(2, "org.flat.Other"), 11) << "another pair is looked for";
  now += std::chrono::seconds(2);
  EXPECT_EQ(lookup.hostPid(2, "org.flat.Game"), 10);
}

// Runs `work` on a thread of its own. When it has not returned within 5 s it is taken as blocked
// opening `fifo`, which is then opened for writing until the work ends (a reader waiting in
// open() goes on once a writer comes), so that a fault fails the test instead of hanging it.
bool returnsPromptly(const std::function<void()>& work, const std::string& fifo) {
  auto done = std::async(std::launch::async, work);
  if (done.wait_for(std::chrono::seconds(5)) == std::future_status::ready) return true;
  while (done.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready) {
    const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) ::close(fd);
  }
  return false;
}

// A process's root is its owner's to fill: what stands at /.flatpak-info there is read only
// when it is a regular file, without waiting on it and without following a link.
TEST_F(LinuxIdentityTest, OnlyARegularFlatpakInfoInTheProcessRootIsRead) {
  const std::string proc = tree.path("proc");
  process({.pid = 10, .nsPids = "10\t2"});
  fs::create_directories(tree.path("proc/10/root"));
  const std::string fifo = tree.path("proc/10/root/.flatpak-info");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::optional<RunningApplication> app;
  std::optional<std::int32_t> host = 1;
  EXPECT_TRUE(returnsPromptly([&] { app = identity->runningApplication(10); }, fifo));
  EXPECT_TRUE(returnsPromptly([&] { host = flatpakHostPid(proc, 2, "org.flat.Game"); }, fifo));
  ASSERT_TRUE(app);
  EXPECT_EQ(app->bundleIdentifier, "bash");
  EXPECT_EQ(host, std::nullopt);

  // A link to a file naming the app, as the process could plant, is not followed.
  tree.write("elsewhere/info", "[Application]\nname=org.flat.Game\n");
  process({.pid = 11, .nsPids = "11\t2"});
  fs::create_directories(tree.path("proc/11/root"));
  fs::create_symlink(tree.path("elsewhere/info"), tree.path("proc/11/root/.flatpak-info"));
  EXPECT_EQ(identity->runningApplication(11)->bundleIdentifier, "bash");
  EXPECT_EQ(flatpakHostPid(proc, 2, "org.flat.Game"), std::nullopt);

  // The same text in a regular file is what names a Flatpak.
  process({.pid = 12, .flatpakInfo = "[Application]\nname=org.flat.Game\n", .nsPids = "12\t2"});
  EXPECT_EQ(identity->runningApplication(12)->bundleIdentifier, "org.flat.Game");
  EXPECT_EQ(flatpakHostPid(proc, 2, "org.flat.Game"), 12);
}

// Any small file read the same way (desktop files, /proc entries) never hangs on a FIFO.
TEST(ProcFs, AFifoInAFilesPlaceGivesNothingAtOnce) {
  test::IdentityTempTree tree;
  const std::string fifo = tree.path("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::optional<std::string> text = "unread";
  EXPECT_TRUE(returnsPromptly([&] { text = procfs::readFile(fifo); }, fifo));
  EXPECT_EQ(text, std::nullopt);
  tree.write("big", std::string(100, 'x'));
  EXPECT_EQ(procfs::readFile(tree.path("big"), 10), std::string(10, 'x'));
}

// The start time names one process for good: read past a name that looks
// like more fields, and never for a process that has died.
TEST(ProcFs, TheStartTimeIsReadPastTheNameAndNotForTheDead) {
  std::string rest;
  for (int field = 4; field <= 21; ++field)
    rest += " 7";
  const std::string name = "7 (a) Z 1" + rest + " 99 1 2 3) S";
  EXPECT_EQ(procfs::startTime("7 (x) y) S" + rest + " 4242 1\n"), 4242u);
  EXPECT_EQ(procfs::startTime("7 (a) Z" + rest + " 4242 1\n"), std::nullopt) << "a zombie";
  EXPECT_EQ(procfs::startTime("7 (a) X" + rest + " 4242 1\n"), std::nullopt) << "dead";
  EXPECT_EQ(procfs::startTime("7 (" + name + ")" + " R" + rest + " 4242 1\n"), 4242u)
      << "a name that holds a zombie's fields";
  EXPECT_EQ(procfs::startTime("7 (a) S 1 2"), std::nullopt) << "too few fields";
  EXPECT_EQ(processStartTime(-1), std::nullopt);
  EXPECT_TRUE(processStartTime(::getpid()).has_value());
}

TEST(LinuxIdentityOnThisMachine, ThisProcessIsReadFromTheRealProc) {
  test::IdentityTempTree tree;
  DesktopIndex desktop({tree.path()});
  LinuxIdentity identity(desktop, {.language = [] { return std::string("en"); }});
  const auto pid = static_cast<std::int32_t>(::getpid());
  EXPECT_EQ(identity.ownPid(), pid);
  EXPECT_EQ(identity.executablePath(pid), fs::read_symlink("/proc/self/exe").string());
  auto app = identity.runningApplication(pid);
  ASSERT_TRUE(app);
  EXPECT_EQ(app->bundleIdentifier, fs::read_symlink("/proc/self/exe").filename().string());
  EXPECT_FALSE(app->localizedName.value_or("").empty());
  EXPECT_TRUE(identity.runningApplications().empty()) << "no desktop file is installed";
}

}  // namespace
}  // namespace tavuno
