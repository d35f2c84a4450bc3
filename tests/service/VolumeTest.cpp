#include <gtest/gtest.h>

#include "service/AudioService.h"
#include "support/ServiceProbe.h"
#include "support/SimPlatform.h"

namespace tavuno {
namespace {

class VolumeTest : public ::testing::Test {
 protected:
  test::SimPlatform platform;
  test::ScopedLanguage language{test::englishCatalog()};

  // A stereo output with channel controls only, at 0.8/0.4.
  AudioObjectID addStereo(std::string uid = "stereo") {
    return platform.hal.addDevice({.uid = uid,
                                   .outputStreams = 1,
                                   .outputChannels = {2},
                                   .channelVolumes = {SimControl{0.8f}, SimControl{0.4f}},
                                   .mute = SimControl{0}});
  }
  std::vector<float> channels(AudioObjectID device) {
    return {*platform.hal.volume(device, 1), *platform.hal.volume(device, 2)};
  }
};

TEST_F(VolumeTest, ChannelsKeepTheirBalanceThroughZero) {
  AudioObjectID stereo = addStereo();
  platform.hal.setDefaultOutput(stereo);
  auto service = platform.makeService({.startTimer = false});
  EXPECT_TRUE(service->state().volumeAvailable);
  EXPECT_FLOAT_EQ(service->state().volume, 0.8f);
  EXPECT_EQ(ServiceProbe::volumeElements(*service), (std::vector<std::uint32_t>{1, 2}));

  EXPECT_TRUE(service->setVolume(0.5f));
  EXPECT_EQ(channels(stereo), (std::vector<float>{0.5f, 0.25f}));
  EXPECT_FLOAT_EQ(service->state().volume, 0.5f) << "read back by the refresh";

  EXPECT_TRUE(service->setVolume(0));
  EXPECT_EQ(ServiceProbe::lastAudibleRatios(*service), (std::vector<float>{1.0f, 0.5f}));
  EXPECT_TRUE(service->setVolume(0.6f));
  EXPECT_EQ(channels(stereo), (std::vector<float>{0.6f, 0.3f}));

  EXPECT_TRUE(service->setVolume(1.7f));
  EXPECT_EQ(channels(stereo), (std::vector<float>{1.0f, 0.5f}));
}

TEST_F(VolumeTest, AMasterControlWinsOverChannels) {
  AudioObjectID device =
      platform.hal.addDevice({.uid = "m",
                              .outputStreams = 1,
                              .masterVolume = SimControl{0.3f},
                              .channelVolumes = {SimControl{0.9f}, SimControl{0.9f}}});
  platform.hal.setDefaultOutput(device);
  auto service = platform.makeService({.startTimer = false});
  EXPECT_EQ(ServiceProbe::volumeElements(*service), (std::vector<std::uint32_t>{0}));
  EXPECT_FLOAT_EQ(service->state().volume, 0.3f);
  platform.hal.clearWrites();
  EXPECT_TRUE(service->setVolume(0.7f));
  ASSERT_EQ(platform.hal.writes().size(), 1u);
  EXPECT_EQ(platform.hal.writes()[0].address.element, 0u);
}

TEST_F(VolumeTest, AnUnreadableChannelMakesVolumeUnavailableAndNothingIsWritten) {
  AudioObjectID stereo = addStereo();
  platform.hal.setDefaultOutput(stereo);
  auto service = platform.makeService({.startTimer = false});
  platform.hal.injectFault(
      {.operation = SimHal::Operation::get, .selector = selector::volumeScalar, .element = 2});
  service->refresh();
  EXPECT_FALSE(service->state().volumeAvailable);
  EXPECT_FLOAT_EQ(service->state().volume, 0.8f) << "the last value stays shown";
  platform.hal.clearWrites();
  EXPECT_FALSE(service->setVolume(0.2f));
  EXPECT_TRUE(platform.hal.writes().empty());
  EXPECT_FALSE(service->state().error);
}

TEST_F(VolumeTest, EveryChannelIsTriedAndTheLastFailureIsShown) {
  AudioObjectID device =
      platform.hal.addDevice({.uid = "d",
                              .outputStreams = 1,
                              .outputChannels = {3},
                              .channelVolumes = {SimControl{.value = 0.5f, .writeStatus = -1},
                                                 SimControl{.value = 0.5f, .writeStatus = -2},
                                                 SimControl{.value = 0.5f}}});
  platform.hal.setDefaultOutput(device);
  auto service = platform.makeService({.startTimer = false});
  EXPECT_FALSE(service->setVolume(0.9f));
  EXPECT_EQ(platform.hal.writes().size(), 3u);
  EXPECT_FLOAT_EQ(*platform.hal.volume(device, 3), 0.9f);
  EXPECT_EQ(service->state().error, "Could not change every channel (error -2).");
  EXPECT_EQ(ServiceProbe::automationErrorCode(*service), -2);
}

TEST_F(VolumeTest, RatiosAreForgottenWhenTheOutputOrItsControlsChange) {
  AudioObjectID a = addStereo("a"), b = addStereo("b");
  platform.hal.setDefaultOutput(a);
  auto service = platform.makeService({.startTimer = false});
  EXPECT_EQ(ServiceProbe::lastAudibleRatios(*service), (std::vector<float>{1.0f, 0.5f}));
  service->setVolume(0);
  platform.hal.setDefaultOutput(b);
  platform.hal.setVolume(b, 1, 0);
  platform.hal.setVolume(b, 2, 0);
  service->refresh();
  EXPECT_TRUE(ServiceProbe::lastAudibleRatios(*service).empty());
  EXPECT_EQ(ServiceProbe::volumeDevice(*service), b);
  EXPECT_TRUE(service->setVolume(0.6f));
  EXPECT_EQ(channels(b), (std::vector<float>{0.6f, 0.6f}));

  platform.hal.setVolume(b, 1, 0);
  platform.hal.setVolume(b, 2, 0);
  service->refresh();
  EXPECT_EQ(ServiceProbe::lastAudibleRatios(*service), (std::vector<float>{1.0f, 1.0f}));
  platform.hal.removeProperty(b, {selector::volumeScalar, scope::output, 2});
  service->refresh();
  EXPECT_TRUE(ServiceProbe::lastAudibleRatios(*service).empty()) << "a control went away";
}

TEST_F(VolumeTest, MuteReadsWritesAndReportsFailures) {
  AudioObjectID stereo = addStereo();
  platform.hal.setDefaultOutput(stereo);
  auto service = platform.makeService({.startTimer = false});
  EXPECT_TRUE(service->state().muteAvailable);
  EXPECT_FALSE(service->state().muted);
  EXPECT_TRUE(service->setMute(true));
  EXPECT_TRUE(service->state().muted);

  platform.hal.setPropertyStatus(stereo, {selector::mute, scope::output, 0}, 0, -7);
  EXPECT_FALSE(service->setMute(false));
  EXPECT_TRUE(service->state().muted);
  EXPECT_EQ(service->state().error, "Could not change mute (error -7).");

  // A read-only mute control still shows its state but is not available.
  platform.hal.defineProperty(stereo, {selector::mute, scope::output, 0}, {1, 0, 0, 0}, false);
  service->refresh();
  EXPECT_FALSE(service->state().muteAvailable);
  EXPECT_TRUE(service->state().muted);
}

TEST_F(VolumeTest, AnIdleRefreshNotifiesNobody) {
  AudioObjectID stereo = addStereo();
  platform.hal.setDefaultOutput(stereo);
  auto service = platform.makeService({.startTimer = false});
  std::vector<ServiceField> notified;
  auto subscription = service->observe([&](ServiceField f) { notified.push_back(f); });
  service->refresh();
  EXPECT_TRUE(notified.empty());
  platform.hal.setVolume(stereo, 1, 0.1f);
  service->refresh();
  // The volume, then the active profile that follows it.
  EXPECT_EQ(notified, (std::vector<ServiceField>{ServiceField::volume, ServiceField::profiles}));
}

// The default input's volume and mute follow the output's rules on the input
// side, published in their own fields, and never touch the output.
class InputVolumeTest : public VolumeTest {
 protected:
  // A headset: output at 0.6 (master), a stereo microphone at 0.8/0.4 with
  // channel controls and a mute.
  AudioObjectID addHeadset(std::string uid = "headset") {
    return platform.hal.addDevice({.uid = uid,
                                   .inputStreams = 1,
                                   .outputStreams = 1,
                                   .masterVolume = SimControl{0.6f},
                                   .mute = SimControl{0},
                                   .inputChannels = {2},
                                   .inputChannelVolumes = {SimControl{0.8f}, SimControl{0.4f}},
                                   .inputMute = SimControl{0}});
  }
  std::vector<float> mic(AudioObjectID device) {
    return {*platform.hal.volume(device, 1, scope::input),
            *platform.hal.volume(device, 2, scope::input)};
  }
};

TEST_F(InputVolumeTest, KeepsTheBalanceThroughZeroAndLeavesTheOutputAlone) {
  AudioObjectID headset = addHeadset();
  platform.hal.setDefaultOutput(headset);
  platform.hal.setDefaultInput(headset);
  auto service = platform.makeService({.startTimer = false});
  EXPECT_TRUE(service->state().inputVolumeAvailable);
  EXPECT_FLOAT_EQ(service->state().inputVolume, 0.8f);
  EXPECT_FLOAT_EQ(service->state().volume, 0.6f);

  EXPECT_TRUE(service->setInputVolume(0.5f));
  EXPECT_EQ(mic(headset), (std::vector<float>{0.5f, 0.25f}));
  EXPECT_FLOAT_EQ(service->state().inputVolume, 0.5f) << "read back by the refresh";
  EXPECT_TRUE(service->setInputVolume(0));
  EXPECT_TRUE(service->setInputVolume(0.6f));
  EXPECT_EQ(mic(headset), (std::vector<float>{0.6f, 0.3f})) << "the balance came back";
  EXPECT_FLOAT_EQ(*platform.hal.volume(headset, 0), 0.6f) << "the output is untouched";
  EXPECT_FLOAT_EQ(service->state().volume, 0.6f);

  EXPECT_TRUE(service->setInputMute(true));
  EXPECT_TRUE(service->state().inputMuted);
  EXPECT_EQ(platform.hal.muted(headset, scope::input), true);
  EXPECT_FALSE(service->state().muted);
  EXPECT_EQ(platform.hal.muted(headset), false);

  // The output's own operations leave the microphone alone too.
  EXPECT_TRUE(service->setVolume(0.2f));
  EXPECT_TRUE(service->setMute(true));
  EXPECT_EQ(mic(headset), (std::vector<float>{0.6f, 0.3f}));
  EXPECT_EQ(platform.hal.muted(headset, scope::input), true);
}

TEST_F(InputVolumeTest, FollowsTheDefaultInputAndChangesMadeElsewhere) {
  AudioObjectID headset = addHeadset();
  AudioObjectID plain = platform.hal.addDevice(
      {.uid = "mic", .inputStreams = 1, .inputMasterVolume = SimControl{0.3f}});
  platform.hal.setDefaultInput(headset);
  auto service = platform.makeService();
  platform.main.runPending();

  platform.hal.setVolume(headset, 1, 0.2f, scope::input);
  platform.hal.setMuted(headset, true, scope::input);
  platform.main.advance(AudioService::refreshDebounce + 0.01);
  EXPECT_FLOAT_EQ(service->state().inputVolume, 0.4f) << "the louder channel";
  EXPECT_TRUE(service->state().inputMuted);

  // A microphone with a master control and no mute.
  platform.hal.setDefaultInput(plain);
  platform.main.advance(AudioService::refreshDebounce + 0.01);
  EXPECT_FLOAT_EQ(service->state().inputVolume, 0.3f);
  EXPECT_FALSE(service->state().inputMuteAvailable);
  EXPECT_FALSE(service->state().inputMuted);
  platform.hal.setVolume(plain, 0, 0.9f, scope::input);
  platform.main.advance(AudioService::refreshDebounce + 0.01);
  EXPECT_FLOAT_EQ(service->state().inputVolume, 0.9f) << "listened to on the new device";
  platform.hal.setVolume(headset, 1, 0.7f, scope::input);
  platform.main.advance(AudioService::refreshDebounce + 0.01);
  EXPECT_FLOAT_EQ(service->state().inputVolume, 0.9f) << "the old one is not followed";

  // No default input: nothing to set.
  platform.hal.setDefaultInput(0);
  platform.main.advance(AudioService::refreshDebounce + 0.01);
  EXPECT_FALSE(service->state().inputVolumeAvailable);
  EXPECT_FALSE(service->setInputVolume(0.5f));
}

TEST_F(InputVolumeTest, FailuresNameTheMicrophone) {
  AudioObjectID device = platform.hal.addDevice(
      {.uid = "d",
       .inputStreams = 1,
       .inputChannels = {2},
       .inputChannelVolumes = {SimControl{.value = 0.5f, .writeStatus = -3}, SimControl{0.5f}},
       .inputMute = SimControl{.value = 0, .writeStatus = -4}});
  platform.hal.setDefaultInput(device);
  auto service = platform.makeService({.startTimer = false});
  EXPECT_FALSE(service->setInputVolume(0.9f));
  EXPECT_FLOAT_EQ(*platform.hal.volume(device, 2, scope::input), 0.9f) << "every channel tried";
  EXPECT_EQ(service->state().error, "Could not change every channel of the microphone (error -3).");
  EXPECT_FALSE(service->setInputMute(true));
  EXPECT_FALSE(service->state().inputMuted);
  EXPECT_EQ(service->state().error, "Could not mute or unmute the microphone (error -4).");
}

}  // namespace
}  // namespace tavuno
