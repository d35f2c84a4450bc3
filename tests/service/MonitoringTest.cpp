#include <gtest/gtest.h>

#include "devices/DevicePolicy.h"
#include "hal/HalReaders.h"
#include "service/AudioService.h"
#include "support/ServiceProbe.h"
#include "support/SimPlatform.h"

namespace tavuno {
namespace {

class MonitoringTest : public ::testing::Test {
 protected:
  test::SimPlatform platform;
  test::ScopedLanguage language{test::englishCatalog()};
  AudioObjectID speakers = 0, mic = 0;

  void SetUp() override {
    speakers = platform.hal.addDevice({.uid = "speakers",
                                       .transport = transport::builtIn,
                                       .outputStreams = 1,
                                       .masterVolume = SimControl{0.5f},
                                       .mute = SimControl{0}});
    mic =
        platform.hal.addDevice({.uid = "mic", .transport = transport::builtIn, .inputStreams = 1});
    platform.hal.setDefaultOutput(speakers);
    platform.hal.setDefaultInput(mic);
  }
  AudioObjectID plugHeadset() {
    return platform.hal.addDevice({.uid = "headset",
                                   .transport = transport::usb,
                                   .inputStreams = 1,
                                   .outputStreams = 1,
                                   .masterVolume = SimControl{0.7f}});
  }
  void settle(double seconds = 0) { platform.main.advance(seconds); }
};

TEST_F(MonitoringTest, UnpluggingThePreferredOutputFallsBackToBuiltInAndReplugRestores) {
  AudioObjectID headset = plugHeadset();
  platform.hal.setDefaultOutput(headset);
  platform.hal.setDefaultInput(headset);
  platform.defaults.set("preferredOutputUID", std::string("headset"));
  platform.defaults.set("preferredInputUID", std::string("headset"));
  platform.defaults.set("automatic", true);
  auto service = platform.makeService();
  settle(2.0);

  platform.hal.removeDevice(headset);
  settle(0.05 + 1.4);
  EXPECT_EQ(platform.hal.defaultOutput(), 0u) << "not before the 1.5 s delay";
  settle(0.2);
  EXPECT_EQ(platform.hal.defaultOutput(), speakers);
  EXPECT_EQ(platform.hal.defaultInput(), mic);
  EXPECT_EQ(service->state().defaultOutput, speakers);

  AudioObjectID again = plugHeadset();
  settle(0.06);
  EXPECT_EQ(ServiceProbe::pendingConnections(*service), (std::set<std::string>{"headset"}));
  settle(2.0);
  EXPECT_EQ(platform.hal.defaultOutput(), again);
  EXPECT_EQ(platform.hal.defaultInput(), again);
  EXPECT_TRUE(ServiceProbe::pendingConnections(*service).empty()) << "the automations consumed it";
}

TEST_F(MonitoringTest, ConnectionsCloseTogetherGiveOnePolicyPass) {
  auto service = platform.makeService();
  settle(2.0);
  const auto passes = ServiceProbe::automationPasses(*service);
  EXPECT_EQ(passes, 1u) << "the start-up pass";
  EXPECT_TRUE(ServiceProbe::pendingConnections(*service).empty())
      << "the first refresh only records";

  plugHeadset();
  settle(1.0);
  platform.hal.addDevice({.uid = "dock", .outputStreams = 1});
  settle(1.4);
  EXPECT_EQ(ServiceProbe::automationPasses(*service), passes);
  EXPECT_EQ(ServiceProbe::pendingConnections(*service), (std::set<std::string>{"dock", "headset"}));
  settle(0.2);
  EXPECT_EQ(ServiceProbe::automationPasses(*service), passes + 1);
}

TEST_F(MonitoringTest, WithAutomaticOffConnectionsAreNotedButDefaultsStay) {
  platform.defaults.set("preferredOutputUID", std::string("headset"));
  auto service = platform.makeService();
  settle(2.0);
  plugHeadset();
  settle(0.06);
  EXPECT_EQ(ServiceProbe::pendingConnections(*service), (std::set<std::string>{"headset"}));
  settle(2.0);
  EXPECT_EQ(platform.hal.defaultOutput(), speakers);
  EXPECT_EQ(ServiceProbe::automationPasses(*service), 2u);
}

TEST_F(MonitoringTest, ADirectionChangeTriggersThePolicyWithoutAConnection) {
  AudioObjectID headset = plugHeadset();
  auto service = platform.makeService();
  settle(2.0);
  const auto passes = ServiceProbe::automationPasses(*service);
  // Nobody listens to a device's streams: the next timer tick sees the change.
  platform.hal.defineProperty(headset, {selector::streams, scope::input, 0}, {});
  settle(0.05);
  EXPECT_NE(ServiceProbe::lastTopology(*service).find("headset:true:true"), std::string::npos);
  settle(2.0);
  EXPECT_NE(ServiceProbe::lastTopology(*service).find("headset:false:true"), std::string::npos);
  EXPECT_EQ(ServiceProbe::automationPasses(*service), passes);
  settle(1.5);
  EXPECT_EQ(ServiceProbe::automationPasses(*service), passes + 1);
  EXPECT_TRUE(ServiceProbe::pendingConnections(*service).empty());

  // A change of the default device alone refreshes but runs no policy.
  platform.hal.setDefaultOutput(headset);
  settle(2.0);
  EXPECT_EQ(service->state().defaultOutput, headset);
  EXPECT_EQ(ServiceProbe::automationPasses(*service), passes + 1);
}

TEST_F(MonitoringTest, AFailedInputSwitchDoesNotStopTheOutputSwitch) {
  plugHeadset();
  platform.defaults.set("preferredOutputUID", std::string("headset"));
  platform.defaults.set("preferredInputUID", std::string("headset"));
  platform.defaults.set("automatic", true);
  platform.hal.injectFault({.operation = SimHal::Operation::set,
                            .selector = selector::defaultInputDevice,
                            .status = -3});
  auto service = platform.makeService();
  settle(1.6);
  EXPECT_EQ(platform.hal.defaultInput(), mic);
  EXPECT_EQ(service->state().defaultOutput, service->state().devices.back().id);
  EXPECT_EQ(service->state().error, "Could not change the device (error -3).");
}

TEST_F(MonitoringTest, OutputListenersFollowTheDefaultOutputAndAreRemovedExactly) {
  auto service = platform.makeService();
  // Devices, default input, default output, process list; the output's volume and mute, and the
  // input's.
  EXPECT_EQ(platform.hal.listenerCount(), 8u);
  EXPECT_EQ(ServiceProbe::listenerCount(*service), 8u);
  EXPECT_EQ(platform.hal.listenerCount(mic, {selector::mute, scope::input, 0}), 1u);
  const std::size_t adds = platform.hal.callCount(SimHal::Operation::addListener);
  service->refresh();
  EXPECT_EQ(platform.hal.callCount(SimHal::Operation::addListener), adds)
      << "nothing re-registered when nothing changed";

  // A volume change made outside the program reaches the service by itself.
  platform.hal.setVolume(speakers, 0, 0.25f);
  settle(0.06);
  EXPECT_FLOAT_EQ(service->state().volume, 0.25f);

  AudioObjectID headset = plugHeadset();
  platform.hal.setDefaultOutput(headset);
  settle(0.06);
  EXPECT_EQ(platform.hal.listenerCount(speakers, {selector::volumeScalar, scope::output, 0}), 0u);
  EXPECT_EQ(platform.hal.listenerCount(headset, {selector::mute, scope::output, 0}), 1u);

  platform.hal.injectFault({.operation = SimHal::Operation::addListener});
  service.reset();
  EXPECT_EQ(platform.hal.listenerCount(), 0u);
}

TEST_F(MonitoringTest, AnHdmiOutputIsNeverTheBuiltInFallback) {
  AudioObjectID screen =
      platform.hal.addDevice({.uid = "screen", .transport = transport::hdmi, .outputStreams = 1});
  platform.hal.setDefaultOutput(screen);
  platform.defaults.set("preferredOutputUID", std::string("headset"));
  platform.defaults.set("automatic", true);
  auto service = platform.makeService();
  settle(1.6);
  EXPECT_FALSE(service->state().devices.back().builtIn);
  EXPECT_EQ(platform.hal.defaultOutput(), speakers)
      << "the screen is left even as the current default";
}

TEST_F(MonitoringTest, AWriteThatFailsLateIsExplainedAsIfItHadFailedAtOnce) {
  AudioObjectID headset = plugHeadset();
  auto service = platform.makeService({.startTimer = false});
  struct Row {
    const char* proves;
    std::function<bool()> write;
    std::function<void()> revert;  // what the Hal reads again after the failure
    AudioObjectID object;
    PropertyAddress address;
    std::string message;
  };
  const Row rows[] = {
      {"default output", [&] { return service->setDefault(headset, false); },
       [&] { platform.hal.setDefaultOutput(speakers); }, kAudioObjectSystemObject,
       globalAddress(selector::defaultOutputDevice), "Could not change the device (error -3)."},
      {"volume", [&] { return service->setVolume(0.2f); },
       [&] { platform.hal.setVolume(speakers, 0, 0.5f); }, speakers,
       PropertyAddress{selector::volumeScalar, scope::output, 0},
       "Could not change every channel (error -3)."},
      {"mute", [&] { return service->setMute(true); },
       [&] { platform.hal.setMuted(speakers, false); }, speakers,
       PropertyAddress{selector::mute, scope::output, 0}, "Could not change mute (error -3)."},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.proves);
    service->setError(std::nullopt);
    ASSERT_TRUE(row.write());
    EXPECT_FALSE(service->state().error);
    row.revert();
    platform.hal.failDeferredWrite(row.object, row.address, -3);
    settle();
    EXPECT_EQ(service->state().error, row.message);
    EXPECT_EQ(service->state().defaultOutput, speakers) << "read again at once";
    EXPECT_FLOAT_EQ(service->state().volume, 0.5f);
    EXPECT_FALSE(service->state().muted);
  }
  service.reset();
  platform.hal.failDeferredWrite(kAudioObjectSystemObject,
                                 globalAddress(selector::defaultOutputDevice), -3);
  settle();  // nobody is told once the service is gone
}

TEST_F(MonitoringTest, UseBothSwitchesBothDirectionsAndExplainsAnOutputFailure) {
  AudioObjectID headset = plugHeadset();
  auto service = platform.makeService({.startTimer = false});
  auto outputOnly = service->state().devices[0];
  service->useBoth(outputOnly);
  EXPECT_EQ(service->state().preferredUID, "");
  EXPECT_FALSE(platform.defaults.contains("preferredOutputUID"));

  auto device = service->state().devices.back();
  platform.hal.injectFault({.operation = SimHal::Operation::set,
                            .selector = selector::defaultOutputDevice,
                            .status = -9,
                            .remaining = 1});
  service->useBoth(device);
  EXPECT_EQ(platform.hal.defaultInput(), headset);
  EXPECT_EQ(platform.hal.defaultOutput(), speakers);
  EXPECT_EQ(service->state().error, "The input was changed, but the output could not be changed.");
  EXPECT_EQ(platform.defaults.string("preferredInputUID"), "headset");
  EXPECT_EQ(platform.defaults.string("preferredOutputUID"), "headset");

  platform.hal.injectFault({.operation = SimHal::Operation::set,
                            .selector = selector::defaultInputDevice,
                            .status = -8,
                            .remaining = 1});
  platform.hal.setDefaultInput(mic);
  platform.hal.clearWrites();
  service->useBoth(device);
  EXPECT_EQ(platform.hal.writes().size(), 1u) << "an input failure stops before the output";
  EXPECT_EQ(service->state().error, "Could not change the device (error -8).");
}

TEST_F(MonitoringTest, PreferringAHeadsetOutputAlsoPrefersItsInput) {
  platform.hal.addDevice(
      {.uid = "BT-1:output", .transport = transport::bluetooth, .outputStreams = 1});
  platform.hal.addDevice(
      {.uid = "bt-1:input", .transport = transport::bluetoothLE, .inputStreams = 1});
  auto service = platform.makeService({.startTimer = false});
  service->setPreferredOutput("BT-1:output");
  EXPECT_EQ(service->state().preferredUID, "BT-1:output");
  EXPECT_EQ(service->state().preferredInputUID, "bt-1:input");
  EXPECT_EQ(DevicePreferences::load(platform.defaults),
            (DevicePreferences{"bt-1:input", "BT-1:output", false}));

  service->setPreferredOutput("not-connected");
  EXPECT_EQ(service->state().preferredInputUID, "bt-1:input");
  service->setAutomatic(true);
  EXPECT_EQ(platform.defaults.boolean("automatic"), true);
}

}  // namespace
}  // namespace tavuno
