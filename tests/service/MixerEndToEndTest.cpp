#include <gtest/gtest.h>

#include "engine/taps/StreamFormat.h"
#include "platform/sim/SimIdentity.h"
#include "platform/sim/SimTapDriver.h"
#include "platform/sim/SimTapPlatform.h"
#include "service/AudioService.h"
#include "support/SimPlatform.h"

namespace tavuno {
namespace {

// The whole per-app path on the simulated platforms: discovery, the real
// session over the simulated taps, the gain heard at the output.
TEST(MixerEndToEnd, AnAppIsHeardThroughItsSessionAtItsVolume) {
  test::SimPlatform platform;
  SimTapPlatform tap;
  SimTapDriver driver(tap);
  SimIdentity identity;
  driver.setSignal(
      [](std::uint64_t, std::uint32_t channel) { return channel == 0 ? 0.5f : -0.5f; });

  AudioObjectID speakers = platform.hal.addDevice(
      {.uid = "speakers", .transport = transport::builtIn, .outputStreams = 1});
  platform.hal.setDefaultOutput(speakers);
  const AudioObjectID heard = tap.addDevice(
      {.uid = "speakers", .nominalRate = 48000, .outputStreams = {floatFormat(48000, 2)}});
  identity.addRunning({.pid = 10, .bundleIdentifier = "org.player", .localizedName = "Player"});
  AudioObjectID process =
      platform.hal.addProcess({.pid = 10, .runningOutput = true, .outputDevices = {speakers}});

  ServicePorts ports = platform.ports();
  ports.tap = &tap;
  ports.identity = &identity;
  auto service = AudioService::create(ports, {.startTimer = false});
  platform.workers.runAll();
  ASSERT_EQ(service->state().controlledApps, std::set<std::string>{"org.player"});
  ASSERT_EQ(tap.taps().size(), 1u);
  EXPECT_EQ(tap.taps().begin()->second.description.processes, std::vector<AudioObjectID>{process});

  driver.advance(0.05);
  auto played = driver.played(heard).samples;
  ASSERT_FALSE(played.empty());
  EXPECT_FLOAT_EQ(played.front(), 0.5f);
  EXPECT_FLOAT_EQ(played.back(), -0.5f);

  service->setAppMix(service->state().activeApps.at(0), 0.5f, std::nullopt);
  driver.clearPlayed();
  driver.advance(0.05);
  played = driver.played(heard).samples;
  ASSERT_FALSE(played.empty());
  EXPECT_FLOAT_EQ(played.front(), 0.25f) << "the next buffer has the new gain";
  EXPECT_EQ(service->outputPeak("org.player"), 0.25f) << "the meter reads after the gain";
  EXPECT_EQ(service->outputPeak("org.other"), std::nullopt);
  EXPECT_GT(service->session("org.player")->diagnostics().callbacks, 0u);

  platform.hal.removeProcess(process);
  service->refresh();
  platform.workers.runAll();
  EXPECT_TRUE(service->state().controlledApps.empty());
  EXPECT_EQ(tap.liveObjectCount(), 0u) << "tap, aggregate and callback all destroyed";
  driver.clearPlayed();
  driver.advance(0.05);
  EXPECT_TRUE(driver.played(heard).samples.empty());
}

}  // namespace
}  // namespace tavuno
