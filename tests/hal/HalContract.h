#pragma once

// What every Hal promises the service, run against the simulated one (tests/hal) and the Linux
// one on a private audio server (tests/linux/server): the device list with each device's facts,
// the defaults, and the volume and mute of the default output. A binary instantiates the suite
// with a rig of its own:
//
//   struct Rig {
//     void prepare();  // before each case; may skip or fail it (no server)
//     void finish();   // after each case: the devices as they were
//     Hal& hal();
//     // Lets the writes made so far reach where they go (the server); the sim's main queue.
//     void settle();
//   };
//
// holding the devices of desktopDevices() below, the speakers as the
// default output and the headset's microphone as the default input.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "hal/HalReaders.h"

namespace tavuno::test {

struct ContractDevice {
  std::string uid;
  std::string name;
  std::uint32_t transport;
  bool output;
};

inline const std::vector<ContractDevice>& desktopDevices() {
  static const std::vector<ContractDevice> devices{
      {"alsa_output.pci-0000_00_1f.3.hdmi-stereo", "HDMI / DisplayPort", transport::hdmi, true},
      {"builtin_speakers", "Built-in Speakers", transport::builtIn, true},
      {"usb_dac", "USB DAC", transport::usb, true},
      {"bluez:00:11:22:33:44:55:output", "BT Headset", transport::bluetooth, true},
      {"bluez:00:11:22:33:44:55:input", "BT Headset Mic", transport::bluetooth, false},
  };
  return devices;
}

template <class Rig>
class HalContract : public ::testing::Test {
 protected:
  Rig rig;
  void SetUp() override { rig.prepare(); }
  void TearDown() override { rig.finish(); }
  Hal& hal() { return rig.hal(); }

  std::vector<AudioObjectID> devices() {
    return readObjectIDs(hal(), kAudioObjectSystemObject, globalAddress(selector::devices));
  }
  AudioObjectID byUid(const std::string& uid) {
    for (AudioObjectID id : devices())
      if (readString(hal(), id, globalAddress(selector::deviceUID)) == uid) return id;
    return kAudioObjectUnknown;
  }
  AudioObjectID defaultDevice(bool output) {
    return readUInt32(
               hal(), kAudioObjectSystemObject,
               globalAddress(output ? selector::defaultOutputDevice : selector::defaultInputDevice))
        .value_or(kAudioObjectUnknown);
  }
  OSStatus setDefault(bool output, AudioObjectID device) {
    return writeUInt32(
        hal(), kAudioObjectSystemObject,
        globalAddress(output ? selector::defaultOutputDevice : selector::defaultInputDevice),
        device);
  }
};

TYPED_TEST_SUITE_P(HalContract);

TYPED_TEST_P(HalContract, ListsEveryDeviceWithItsFacts) {
  const auto ids = this->devices();
  ASSERT_EQ(ids.size(), desktopDevices().size());
  for (const ContractDevice& expected : desktopDevices()) {
    SCOPED_TRACE(expected.uid);
    const AudioObjectID id = this->byUid(expected.uid);
    ASSERT_NE(id, kAudioObjectUnknown);
    EXPECT_EQ(readString(this->hal(), id, globalAddress(selector::name)), expected.name);
    EXPECT_EQ(readUInt32(this->hal(), id, globalAddress(selector::transportType)),
              expected.transport);
    EXPECT_EQ(readOutputChannelCount(this->hal(), id), expected.output ? 2u : 0u);
    EXPECT_EQ(
        readObjectIDs(this->hal(), id, {selector::streams, scope::input, kElementMain}).empty(),
        expected.output);
  }
}

// A default reads back at once; only a device of that direction is taken, and a refused one
// leaves the default as it was.
TYPED_TEST_P(HalContract, DefaultsReadBackAndTakeOnlyADeviceOfTheirDirection) {
  const AudioObjectID speakers = this->byUid("builtin_speakers");
  const AudioObjectID usb = this->byUid("usb_dac");
  const AudioObjectID mic = this->byUid("bluez:00:11:22:33:44:55:input");
  ASSERT_NE(speakers, kAudioObjectUnknown);
  ASSERT_NE(mic, kAudioObjectUnknown);
  EXPECT_EQ(this->defaultDevice(true), speakers);
  EXPECT_EQ(this->defaultDevice(false), mic);

  EXPECT_EQ(this->setDefault(true, usb), status::noError);
  EXPECT_EQ(this->defaultDevice(true), usb);
  EXPECT_EQ(this->setDefault(true, mic), status::illegalOperation) << "an input as the output";
  EXPECT_EQ(this->setDefault(false, speakers), status::illegalOperation)
      << "an output as the input";
  EXPECT_EQ(this->setDefault(true, 4242), status::illegalOperation) << "no such device";
  EXPECT_EQ(this->defaultDevice(true), usb);
  EXPECT_EQ(this->defaultDevice(false), mic);
  this->rig.settle();
  EXPECT_EQ(this->defaultDevice(true), usb) << "the write held";

  EXPECT_EQ(this->setDefault(true, speakers), status::noError);
  this->rig.settle();
  EXPECT_EQ(this->defaultDevice(true), speakers);
}

// Each volume control of the default output reads back what was written, within [0, 1] (a
// value that is no number is silence), and the mute reads back as on or off.
TYPED_TEST_P(HalContract, TheDefaultOutputsVolumeAndMuteReadBackInRange) {
  Hal& hal = this->hal();
  const AudioObjectID output = this->defaultDevice(true);
  const auto controls = outputVolumeControls(hal, output);
  ASSERT_FALSE(controls.empty());
  const PropertyAddress mute{selector::mute, scope::output, kElementMain};
  ASSERT_TRUE(isSettableControl(hal, output, mute));
  // The server keeps whole steps of 1/65536.
  constexpr float step = 1.0f / 65536.0f;
  const auto expectVolume = [&](float written, float expected) {
    for (std::uint32_t element : controls) {
      const PropertyAddress at{selector::volumeScalar, scope::output, element};
      ASSERT_TRUE(isSettableControl(hal, output, at));
      EXPECT_EQ(writeFloat32(hal, output, at, written), status::noError);
    }
    for (bool settled : {false, true}) {
      if (settled) this->rig.settle();
      for (std::uint32_t element : controls) {
        SCOPED_TRACE("written " + std::to_string(written) + ", element " + std::to_string(element) +
                     (settled ? ", settled" : ""));
        const auto read =
            readFloat32(hal, output, {selector::volumeScalar, scope::output, element});
        ASSERT_TRUE(read);
        EXPECT_NEAR(*read, expected, step * 1.01f);
      }
    }
  };
  expectVolume(0.25f, 0.25f);
  expectVolume(1.5f, 1.0f);
  expectVolume(-0.5f, 0.0f);
  expectVolume(std::numeric_limits<float>::quiet_NaN(), 0.0f);
  expectVolume(1.0f, 1.0f);

  for (std::uint32_t written : {1u, 2u, 0u}) {
    SCOPED_TRACE("mute written " + std::to_string(written));
    EXPECT_EQ(writeUInt32(hal, output, mute, written), status::noError);
    EXPECT_EQ(readUInt32(hal, output, mute), written != 0 ? 1u : 0u);
    this->rig.settle();
    EXPECT_EQ(readUInt32(hal, output, mute), written != 0 ? 1u : 0u);
  }
}

REGISTER_TYPED_TEST_SUITE_P(HalContract, ListsEveryDeviceWithItsFacts,
                            DefaultsReadBackAndTakeOnlyADeviceOfTheirDirection,
                            TheDefaultOutputsVolumeAndMuteReadBackInRange);

}  // namespace tavuno::test
