#include <gtest/gtest.h>

#include "engine/AppDiscovery.h"
#include "engine/ApplicationIdentity.h"
#include "platform/sim/SimHal.h"
#include "platform/sim/SimIdentity.h"
#include "platform/sim/SimMainQueue.h"

namespace tavuno {
namespace {

TEST(ApplicationIdentity, OutermostBundle) {
  using ApplicationIdentity::outermostAppURL;
  EXPECT_EQ(outermostAppURL("/Applications/A.app/Contents/Frameworks/B.app/Contents/MacOS/b"),
            "/Applications/A.app");
  EXPECT_EQ(outermostAppURL("/opt/X.APP/bin/../bin/x"), "/opt/X.APP");
  EXPECT_EQ(outermostAppURL("/usr/bin/player"), std::nullopt);
  EXPECT_EQ(outermostAppURL("relative/A.app/x"), std::nullopt);
  EXPECT_EQ(outermostAppURL("/Apps/Thing.application/x"), std::nullopt);
}

class DiscoveryTest : public ::testing::Test {
 protected:
  SimMainQueue main;
  SimHal hal{main};
  SimIdentity identity;

  void SetUp() override {
    identity.setOwnPid(99);
    identity.addBundle("/Applications/Browser.app",
                       {.identifier = "org.browser", .displayName = "Browser", .name = "Brws"});
    identity.addBundle("/Applications/Browser.app/Contents/Helpers/Audio.app",
                       {.identifier = "org.browser.audio", .name = "Audio Helper"});
    identity.addRunning({.pid = 10,
                         .bundlePath = "/Applications/Browser.app",
                         .bundleIdentifier = "org.browser",
                         .localizedName = "Browser"});
    identity.addProcess(11,
                        "/Applications/Browser.app/Contents/Helpers/Audio.app/Contents/MacOS/a");
  }
  Discovery discover() {
    return discoverActiveApps(hal, identity, [&](AudioObjectID process) {
      std::optional<std::vector<AudioObjectID>> devices;
      std::uint32_t size = 0;
      const PropertyAddress address{selector::processDevices, scope::output, 0};
      if (hal.getPropertyDataSize(process, address, size) != 0 || size == 0) return devices;
      devices.emplace(size / 4);
      hal.getPropertyData(process, address, size, devices->data());
      return devices;
    });
  }
};

TEST_F(DiscoveryTest, ProcessesOfOneApplicationAreGroupedUnderItsOutermostBundle) {
  AudioObjectID helper =
      hal.addProcess({.pid = 11, .runningOutput = true, .outputDevices = {40, 30}});
  AudioObjectID main = hal.addProcess({.pid = 10, .runningOutput = true, .outputDevices = {30}});
  hal.addProcess({.pid = 99, .runningOutput = true});                          // ourselves
  hal.addProcess({.pid = 12, .runningOutput = false, .runningInput = false});  // idle
  hal.addProcess({.pid = 13, .runningOutput = true});                          // unknown process

  auto found = discover();
  ASSERT_EQ(found.sorted.size(), 1u);
  const ActiveApp& app = found.sorted[0];
  EXPECT_EQ(app.id, "org.browser");
  EXPECT_EQ(app.name, "Browser");
  EXPECT_EQ(app.processes,
            (std::vector<AudioObjectID>{std::min(helper, main), std::max(helper, main)}));
  EXPECT_EQ(app.nativeOutputIDs, (std::vector<AudioObjectID>{30, 40}));
  EXPECT_FALSE(app.inputActive);
  EXPECT_EQ(app.bundleURL, "/Applications/Browser.app");
}

TEST_F(DiscoveryTest, RecordingAndUnreportedDevicesMarkTheApplication) {
  hal.addProcess({.pid = 10, .runningOutput = true, .outputDevices = {30}});
  hal.addProcess({.pid = 11, .runningInput = true});
  AudioObjectID silentDevices = hal.addProcess({.pid = 10, .runningOutput = true});
  hal.removeProperty(silentDevices, {selector::processDevices, scope::output, 0});
  // An application that only records creates no entry.
  identity.addRunning({.pid = 20, .bundleIdentifier = "org.recorder", .localizedName = "Rec"});
  hal.addProcess({.pid = 20, .runningInput = true});

  auto found = discover();
  ASSERT_EQ(found.apps.size(), 1u);
  EXPECT_TRUE(found.apps["org.browser"].inputActive);
  EXPECT_EQ(found.apps["org.browser"].nativeOutputIDs, std::nullopt);
}

TEST_F(DiscoveryTest, ApplicationsWithoutBundleUseTheirPid) {
  identity.addRunning({.pid = 30, .localizedName = "script"});
  hal.addProcess({.pid = 30, .runningOutput = true, .outputDevices = {1}});
  auto found = discover();
  ASSERT_EQ(found.sorted.size(), 1u);
  EXPECT_EQ(found.sorted[0].id, "pid:30");
  EXPECT_EQ(found.sorted[0].name, "script");
  EXPECT_EQ(found.sorted[0].bundleURL, std::nullopt);
}

TEST_F(DiscoveryTest, RunningAppsSkipOurselvesPidIdsAndRepeats) {
  identity.addRunning({.pid = 99, .bundleIdentifier = "org.tavuno", .localizedName = "Tavuno"});
  identity.addRunning({.pid = 30, .localizedName = "script"});
  identity.addRunning({.pid = 31, .bundleIdentifier = "org.browser", .localizedName = "Second"});
  identity.addRunning({.pid = 32, .bundleIdentifier = "org.zeta", .localizedName = "Ágil"});
  identity.addRunning({.pid = 33, .bundleIdentifier = "org.alpha", .localizedName = "alpha"});
  identity.addRunning({.pid = 34, .bundleIdentifier = "org.c"});  // no name: no identity
  auto apps = listRunningApps(identity);
  std::vector<std::string> names;
  for (const auto& app : apps)
    names.push_back(app.name);
  EXPECT_EQ(names, (std::vector<std::string>{"Ágil", "alpha", "Browser"}));
}

TEST(NameOrder, IgnoresCaseAndAccents) {
  EXPECT_TRUE(nameOrderedBefore("apple", "Banana"));
  EXPECT_TRUE(nameOrderedBefore("Éclair", "fig"));
  EXPECT_FALSE(nameOrderedBefore("Zoom", "alpha"));
  EXPECT_FALSE(nameOrderedBefore("same", "SAME"));
  EXPECT_TRUE(nameOrderedBefore("ab", "abc"));
  EXPECT_FALSE(nameOrderedBefore("\xff\xfe", "\xff"));  // malformed bytes compare, no crash
}

// Beyond Latin-1: a letter of another alphabet sorts among its own, whatever its code point.
TEST(NameOrder, FollowsEveryAlphabet) {
  EXPECT_TRUE(nameOrderedBefore("Łódź Radio", "Mumble"));     // Ł among the L's, not after z
  EXPECT_TRUE(nameOrderedBefore("Łódź Radio", "Lublin"));     // read as an l: "o" before "u"
  EXPECT_TRUE(nameOrderedBefore("яблоко", "Ярлык"));          // Cyrillic, case ignored
  EXPECT_FALSE(nameOrderedBefore("ŐRSÉG", "őrség"));          // double acute folds like the rest
  EXPECT_TRUE(nameOrderedBefore("Ωmega Player", "画图"));     // one script before another
  EXPECT_TRUE(nameOrderedBefore("Straße", "Strauss Tuner"));  // ß reads as ss
}

}  // namespace
}  // namespace tavuno
