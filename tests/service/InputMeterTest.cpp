#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <utility>

#include "service/AudioService.h"
#include "support/SimPlatform.h"

namespace tavuno {
namespace {

using Status = InputMeterStatus;

class InputMeterTest : public ::testing::Test {
 protected:
  test::SimPlatform platform;
  test::ScopedLanguage language{test::englishCatalog()};

  AudioObjectID addInput(const std::string& uid, std::uint32_t transport = transport::usb) {
    return platform.hal.addDevice({.uid = uid,
                                   .name = uid,
                                   .transport = transport,
                                   .inputStreams = 1,
                                   .inputMute = SimControl{0.0f}});
  }
  std::shared_ptr<AudioService> start(AudioObjectID defaultInput) {
    platform.hal.setDefaultInput(defaultInput);
    return platform.makeService({.startTimer = false});
  }
  std::vector<AudioObjectID> open() const { return platform.inputLevels.openDevices(); }
  static Status status(const AudioService& service) { return service.state().inputMeter; }
};

TEST_F(InputMeterTest, MetersOnlyWhileShownAndReadsTheInputsPeakOverTime) {
  const AudioObjectID mic = addInput("mic");
  // Deterministic on virtual time: silence for a second, then a steady 0.5.
  platform.inputLevels.setSignal(mic, [](double t) { return t < 1.0 ? 0.0f : 0.5f; });
  auto service = start(mic);
  EXPECT_EQ(status(*service), Status::off);
  EXPECT_TRUE(open().empty()) << "nothing is recorded while no screen shows the meter";
  EXPECT_EQ(service->inputPeak(), std::nullopt);

  service->setInputMeterShown(true);
  EXPECT_EQ(status(*service), Status::live);
  EXPECT_EQ(open(), std::vector<AudioObjectID>{mic});
  EXPECT_EQ(service->inputPeak(), 0.0f);
  platform.main.advance(1.5);
  EXPECT_EQ(service->inputPeak(), 0.5f);
  ASSERT_TRUE(service->setInputMute(true));
  EXPECT_EQ(service->inputPeak(), 0.0f) << "a muted microphone shows nothing";
  ASSERT_TRUE(service->setInputMute(false));
  service->refresh();
  EXPECT_EQ(platform.inputLevels.opens(), 1) << "a refresh keeps the open meter";

  service->setInputMeterShown(false);
  EXPECT_EQ(status(*service), Status::off);
  EXPECT_TRUE(open().empty());
  EXPECT_EQ(service->inputPeak(), std::nullopt);
}

TEST_F(InputMeterTest, WhateverThePlatformDeliversTheMeterReadsZeroToOne) {
  const AudioObjectID mic = addInput("mic");
  auto service = start(mic);
  service->setInputMeterShown(true);
  const std::pair<float, float> cases[] = {{3.0f, 1.0f},
                                           {-0.4f, 0.0f},
                                           {std::numeric_limits<float>::quiet_NaN(), 0.0f},
                                           {std::numeric_limits<float>::infinity(), 1.0f}};
  for (const auto& [delivered, read] : cases) {
    platform.inputLevels.setLevel(mic, delivered);
    EXPECT_EQ(service->inputPeak(), read) << delivered;
  }
}

TEST_F(InputMeterTest, FollowsTheDefaultInputWhereverItIsChanged) {
  const AudioObjectID mic = addInput("mic"), usb = addInput("usb");
  platform.inputLevels.setLevel(mic, 0.2f);
  platform.inputLevels.setLevel(usb, 0.7f);
  auto service = start(mic);
  service->setInputMeterShown(true);

  // Changed elsewhere: the listener's refresh follows it.
  platform.hal.setDefaultInput(usb);
  platform.main.advance(1.0);
  EXPECT_EQ(open(), std::vector<AudioObjectID>{usb}) << "the old input's meter is closed";
  EXPECT_EQ(service->inputPeak(), 0.7f);

  // Changed here.
  ASSERT_TRUE(service->setDefault(mic, true));
  platform.main.advance(1.0);
  EXPECT_EQ(open(), std::vector<AudioObjectID>{mic});
  EXPECT_EQ(service->inputPeak(), 0.2f);

  // Unplugged, with no input left: nothing to meter.
  platform.hal.removeDevice(mic);
  platform.hal.removeDevice(usb);
  platform.main.advance(1.0);
  EXPECT_TRUE(open().empty());
  EXPECT_EQ(status(*service), Status::off);
}

TEST_F(InputMeterTest, ABluetoothInputIsMeteredOnlyWhileTheUserTestsIt) {
  const AudioObjectID headset = addInput("headset", transport::bluetooth);
  const AudioObjectID mic = addInput("mic");
  platform.inputLevels.setLevel(headset, 0.4f);
  auto service = start(headset);
  service->setInputMeterShown(true);
  EXPECT_EQ(status(*service), Status::awaitingTest);
  EXPECT_TRUE(open().empty()) << "metering would switch the headset to its call profile";
  EXPECT_EQ(service->inputPeak(), std::nullopt);

  service->setInputMeterTesting(true);
  EXPECT_EQ(status(*service), Status::testing);
  EXPECT_EQ(service->inputPeak(), 0.4f);
  // Stopped by the user.
  service->setInputMeterTesting(false);
  EXPECT_EQ(status(*service), Status::awaitingTest);
  EXPECT_TRUE(open().empty());

  // Ends by itself.
  service->setInputMeterTesting(true);
  platform.main.advance(InputMeterController::testDuration - 1);
  EXPECT_EQ(open(), std::vector<AudioObjectID>{headset});
  platform.main.advance(2);
  EXPECT_EQ(status(*service), Status::awaitingTest);
  EXPECT_TRUE(open().empty());

  // Ends when the screen is left: showing it again does not resume it.
  service->setInputMeterTesting(true);
  service->setInputMeterShown(false);
  service->setInputMeterShown(true);
  EXPECT_EQ(status(*service), Status::awaitingTest);
  EXPECT_TRUE(open().empty());

  // Belongs to the input it was started on.
  service->setInputMeterTesting(true);
  ASSERT_TRUE(service->setDefault(mic, true));
  platform.main.advance(0.5);
  EXPECT_EQ(status(*service), Status::live);
  EXPECT_EQ(open(), std::vector<AudioObjectID>{mic});
  service->setInputMeterTesting(true);
  EXPECT_EQ(status(*service), Status::live) << "only a Bluetooth input is tested";
  ASSERT_TRUE(service->setDefault(headset, true));
  platform.main.advance(0.5);
  EXPECT_EQ(status(*service), Status::awaitingTest);
  EXPECT_TRUE(open().empty());

  // Not while hidden.
  service->setInputMeterShown(false);
  service->setInputMeterTesting(true);
  EXPECT_TRUE(open().empty());
  EXPECT_EQ(status(*service), Status::off);
}

TEST_F(InputMeterTest, AFailingMeterIsShownUnavailableAndTriedAgainWhenShownAnew) {
  const AudioObjectID mic = addInput("mic"), usb = addInput("usb");
  platform.inputLevels.setLevel(mic, 0.3f);
  auto service = start(mic);

  platform.inputLevels.failOpens(mic, 1);
  service->setInputMeterShown(true);
  EXPECT_EQ(status(*service), Status::unavailable);
  EXPECT_EQ(service->inputPeak(), std::nullopt);
  service->refresh();
  EXPECT_EQ(platform.inputLevels.opens(), 1) << "not retried at every refresh";

  service->setInputMeterShown(false);
  service->setInputMeterShown(true);
  EXPECT_EQ(status(*service), Status::live);
  EXPECT_EQ(service->inputPeak(), 0.3f);

  // Fails while open (the server dropped the stream).
  platform.inputLevels.failStreams(mic);
  EXPECT_EQ(service->inputPeak(), std::nullopt);
  EXPECT_EQ(status(*service), Status::unavailable);
  EXPECT_TRUE(open().empty()) << "the failed stream is closed";
  EXPECT_FALSE(service->state().error) << "a meter is no operation the user ran";

  // Another input gets its own try.
  ASSERT_TRUE(service->setDefault(usb, true));
  platform.main.advance(0.5);
  EXPECT_EQ(status(*service), Status::live);
  EXPECT_EQ(open(), std::vector<AudioObjectID>{usb});

  // A meter still opening reads silence.
  platform.inputLevels.holdOpening(true);
  ASSERT_TRUE(service->setDefault(mic, true));
  platform.main.advance(0.5);
  EXPECT_EQ(service->inputPeak(), 0.0f);
  platform.inputLevels.holdOpening(false);
  EXPECT_EQ(service->inputPeak(), 0.3f);
}

TEST_F(InputMeterTest, WithoutAMeterOnThePlatformItIsUnavailable) {
  const AudioObjectID mic = addInput("mic");
  platform.hal.setDefaultInput(mic);
  ServicePorts ports = platform.ports();
  ports.inputLevels = nullptr;
  auto service = AudioService::create(ports, {.startTimer = false});
  service->setInputMeterShown(true);
  EXPECT_EQ(status(*service), Status::unavailable);
  EXPECT_EQ(service->inputPeak(), std::nullopt);
}

}  // namespace
}  // namespace tavuno
