#include <gtest/gtest.h>

#include "platform/sim/FakeAudioNotifications.h"
#include "service/AudioService.h"
#include "support/SimPlatform.h"
#include "system/MuteTarget.h"

namespace tavuno {
namespace {

class SystemIntegrationTest : public ::testing::Test {
 protected:
  test::SimPlatform platform;
  test::ScopedLanguage language{test::englishCatalog()};
  std::shared_ptr<FakeAudioNotifications> notifications =
      std::make_shared<FakeAudioNotifications>(platform.main);
  AudioObjectID speakers = 0;

  void SetUp() override {
    speakers = platform.hal.addDevice({.uid = "speakers",
                                       .transport = transport::builtIn,
                                       .outputStreams = 1,
                                       .mute = SimControl{0}});
    platform.hal.setDefaultOutput(speakers);
  }
  std::shared_ptr<AudioService> make() {
    return platform.makeService({.startTimer = false, .notifications = notifications});
  }
};

TEST_F(SystemIntegrationTest, DeviceChangesAreAnnouncedButNotTheFirstLook) {
  platform.defaults.set("notificationsEnabled", true);
  auto service = make();
  EXPECT_TRUE(notifications->posted().empty());
  AudioObjectID usb = platform.hal.addDevice({.uid = "usb", .outputStreams = 1});
  service->refresh();
  platform.hal.removeDevice(usb);
  platform.hal.addDevice({.uid = "dock", .outputStreams = 1});
  service->refresh();
  // A change of direction alone keeps the same devices: nothing to say.
  platform.hal.defineProperty(speakers, {selector::streams, scope::input, 0}, {1, 0, 0, 0});
  service->refresh();
  EXPECT_EQ(notifications->posted(),
            (std::vector<std::string>{"Audio device connected.", "Audio devices changed."}));
}

TEST_F(SystemIntegrationTest, OnlyTheLatestPermissionAnswerCountsAndOffWinsAtOnce) {
  auto service = make();
  service->setNotificationsEnabled(true);
  service->setNotificationsEnabled(false);
  EXPECT_FALSE(service->state().notificationsEnabled);
  notifications->answerOldest(true);
  platform.main.runPending();
  EXPECT_FALSE(service->state().notificationsEnabled) << "a late answer to an older request";

  service->setNotificationsEnabled(true);
  notifications->answerNewest(false);
  platform.main.runPending();
  EXPECT_FALSE(service->state().notificationsEnabled);
  EXPECT_EQ(platform.defaults.boolean("notificationsEnabled"), false);
  ASSERT_TRUE(service->state().error);

  service->setNotificationsEnabled(true);
  notifications->answerNewest(true);
  platform.main.runPending();
  EXPECT_TRUE(service->state().notificationsEnabled);
  EXPECT_EQ(platform.defaults.boolean("notificationsEnabled"), true);
}

TEST_F(SystemIntegrationTest, TheShortcutsToggleTheirMuteOrExplainWhyNot) {
  const AudioObjectID mic =
      platform.hal.addDevice({.uid = "mic", .inputStreams = 1, .inputMute = SimControl{0}});
  platform.hal.setDefaultInput(mic);
  auto service = make();
  auto muteOutput = muteShortcutAction(service, MuteSide::output);
  auto muteInput = muteShortcutAction(service, MuteSide::input);
  muteOutput();
  EXPECT_EQ(platform.hal.muted(speakers), true);
  muteInput();
  EXPECT_EQ(platform.hal.muted(mic, scope::input), true);
  EXPECT_TRUE(service->state().inputMuted);
  muteOutput();
  EXPECT_EQ(platform.hal.muted(speakers), false);
  EXPECT_TRUE(service->state().inputMuted) << "the output's shortcut leaves the microphone alone";
  muteInput();
  EXPECT_FALSE(service->state().inputMuted);

  platform.hal.removeProperty(speakers, {selector::mute, scope::output, 0});
  platform.hal.removeProperty(mic, {selector::mute, scope::input, 0});
  service->refresh();
  muteOutput();
  EXPECT_EQ(service->state().error, "The current output has no mute control.");
  muteInput();
  EXPECT_EQ(service->state().error, "The current microphone offers no mute control.");
  EXPECT_FALSE(service->state().inputMuted);
  service.reset();
  muteOutput();  // the service is gone: nothing happens
  muteInput();
}

}  // namespace
}  // namespace tavuno
