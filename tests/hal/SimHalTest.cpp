#include <gtest/gtest.h>

#include <cstring>

#include "hal/HalReaders.h"
#include "platform/sim/SimHal.h"
#include "platform/sim/SimMainQueue.h"

namespace tavuno {
namespace {

const PropertyAddress devicesAddress = globalAddress(selector::devices);
const PropertyAddress defaultOutputAddress = globalAddress(selector::defaultOutputDevice);

PropertyAddress volumeAt(std::uint32_t element) {
  return {selector::volumeScalar, scope::output, element};
}

class SimHalTest : public ::testing::Test {
 protected:
  SimMainQueue main;
  SimHal hal{main};
};

TEST_F(SimHalTest, DevicesReadBackThroughTheTypedReaders) {
  SimDeviceSpec spec;
  spec.uid = "usb-1";
  spec.name = "Fone USB";
  spec.transport = transport::usb;
  spec.inputStreams = 1;
  spec.outputStreams = 2;
  spec.outputChannels = {2, 6};
  spec.masterVolume = SimControl{0.5f};
  AudioObjectID id = hal.addDevice(spec);

  EXPECT_EQ(readObjectIDs(hal, kAudioObjectSystemObject, devicesAddress),
            std::vector<AudioObjectID>{id});
  EXPECT_EQ(readString(hal, id, globalAddress(selector::deviceUID)), "usb-1");
  EXPECT_EQ(readString(hal, id, globalAddress(selector::name)), "Fone USB");
  EXPECT_EQ(readUInt32(hal, id, globalAddress(selector::transportType)), transport::usb);
  EXPECT_EQ(readOutputChannelCount(hal, id), 8u);
  EXPECT_EQ(readFloat32(hal, id, volumeAt(0)), 0.5f);
  EXPECT_TRUE(isSettableControl(hal, id, volumeAt(0)));
  EXPECT_FALSE(isSettableControl(hal, id, volumeAt(1)));
  std::uint32_t size = 0;
  EXPECT_EQ(hal.getPropertyDataSize(id, {selector::streams, scope::output, 0}, size), 0);
  EXPECT_EQ(size, 8u);
}

TEST_F(SimHalTest, OutputChannelCountIsCappedAndNeverReadsPastTheBuffer) {
  SimDeviceSpec wide;
  wide.uid = "wide";
  wide.outputStreams = 3;
  wide.outputChannels = {100, 100, 100};
  EXPECT_EQ(readOutputChannelCount(hal, hal.addDevice(wide)), 256u);

  AudioObjectID odd = hal.addDevice({.uid = "odd", .outputStreams = 1});
  const PropertyAddress layout{selector::streamConfiguration, scope::output, 0};
  // 23 bytes cannot hold one buffer.
  hal.defineProperty(odd, layout, std::vector<std::uint8_t>(23, 0xFF));
  EXPECT_EQ(readOutputChannelCount(hal, odd), 0u);
  // A list claiming 1000 buffers in room for one counts only the one.
  std::vector<std::uint8_t> lying(audioBufferListSize(1), 0);
  std::uint32_t claimed = 1000, channels = 4;
  std::memcpy(lying.data(), &claimed, 4);
  std::memcpy(lying.data() + 8, &channels, 4);
  hal.defineProperty(odd, layout, lying);
  EXPECT_EQ(readOutputChannelCount(hal, odd), 4u);
  hal.injectFault({.operation = SimHal::Operation::get, .object = odd});
  EXPECT_EQ(readOutputChannelCount(hal, odd), 0u);
}

TEST_F(SimHalTest, FaultsMatchTheirFieldsAndRunOut) {
  AudioObjectID id = hal.addDevice(
      {.uid = "d", .outputStreams = 1, .channelVolumes = {SimControl{0.3f}, SimControl{0.4f}}});
  hal.injectFault({.operation = SimHal::Operation::get,
                   .selector = selector::volumeScalar,
                   .element = 2,
                   .status = status::illegalOperation,
                   .remaining = 1});
  EXPECT_EQ(readFloat32(hal, id, volumeAt(1)), 0.3f);
  EXPECT_FALSE(readFloat32(hal, id, volumeAt(2)));
  EXPECT_EQ(readFloat32(hal, id, volumeAt(2)), 0.4f);  // the fault ran out

  hal.injectFault({.operation = SimHal::Operation::getSize, .object = kAudioObjectSystemObject});
  EXPECT_TRUE(readObjectIDs(hal, kAudioObjectSystemObject, devicesAddress).empty());
  hal.clearFaults();
  hal.injectFault({.operation = SimHal::Operation::has, .object = id});
  EXPECT_FALSE(isSettableControl(hal, id, volumeAt(1)));
}

TEST_F(SimHalTest, ControlsCanBeReadOnlyUnreadableOrFailOnWrite) {
  AudioObjectID id =
      hal.addDevice({.uid = "d",
                     .outputStreams = 1,
                     .masterVolume = SimControl{.value = 0.5f, .settable = false},
                     .channelVolumes = {SimControl{.readStatus = status::unknownProperty},
                                        SimControl{.writeStatus = -1234}},
                     .mute = SimControl{.value = 1}});
  EXPECT_FALSE(isSettableControl(hal, id, volumeAt(0)));
  EXPECT_EQ(writeFloat32(hal, id, volumeAt(0), 0.1f), status::illegalOperation);
  EXPECT_FALSE(readFloat32(hal, id, volumeAt(1)));
  EXPECT_EQ(writeFloat32(hal, id, volumeAt(2), 0.1f), -1234);
  EXPECT_EQ(writeFloat32(hal, id, volumeAt(3), 0.1f), status::unknownProperty);
  EXPECT_EQ(writeUInt32(hal, id, {selector::mute, scope::output, 0}, 0), 0);
  EXPECT_EQ(hal.muted(id), false);
  EXPECT_EQ(hal.setPropertyData(id, volumeAt(2), 2, "ab"), status::badPropertySize);
  ASSERT_EQ(hal.writes().size(), 5u);
  EXPECT_EQ(hal.writes()[1].result, -1234);
}

TEST_F(SimHalTest, DefaultDeviceWritesAcceptOnlyKnownDevices) {
  AudioObjectID id = hal.addDevice({.uid = "d", .outputStreams = 1});
  EXPECT_EQ(writeUInt32(hal, kAudioObjectSystemObject, defaultOutputAddress, 999),
            status::illegalOperation);
  EXPECT_EQ(writeUInt32(hal, kAudioObjectSystemObject, defaultOutputAddress, id), 0);
  EXPECT_EQ(hal.defaultOutput(), id);
  hal.removeDevice(id);
  EXPECT_EQ(hal.defaultOutput(), 0u);
}

TEST_F(SimHalTest, ListenersHearChangesOnTheMainQueueUntilRemoved) {
  AudioObjectID id = hal.addDevice({.uid = "d", .outputStreams = 1, .masterVolume = SimControl{}});
  int devicesHeard = 0, volumeHeard = 0;
  ListenerToken devicesToken = 0, volumeToken = 0;
  ASSERT_EQ(hal.addPropertyListener(
                kAudioObjectSystemObject, devicesAddress,
                [&](std::uint32_t n, const PropertyAddress* addresses) {
                  EXPECT_EQ(n, 1u);
                  EXPECT_EQ(addresses[0], devicesAddress);
                  ++devicesHeard;
                },
                devicesToken),
            0);
  ASSERT_EQ(hal.addPropertyListener(
                id, volumeAt(0), [&](auto, auto) { ++volumeHeard; }, volumeToken),
            0);
  hal.addDevice({.uid = "e", .outputStreams = 1});
  hal.setVolume(id, 0, 0.2f);
  hal.setVolume(id, 0, 0.2f);  // unchanged: no event
  EXPECT_EQ(devicesHeard + volumeHeard, 0) << "delivered only on the main queue";
  main.runPending();
  EXPECT_EQ(devicesHeard, 1);
  EXPECT_EQ(volumeHeard, 1);

  // Removal must name the same object, address and token.
  EXPECT_NE(hal.removePropertyListener(id, volumeAt(1), volumeToken), 0);
  EXPECT_NE(hal.removePropertyListener(id, volumeAt(0), devicesToken), 0);
  hal.setVolume(id, 0, 0.3f);
  EXPECT_EQ(hal.removePropertyListener(id, volumeAt(0), volumeToken), 0);
  main.runPending();
  EXPECT_EQ(volumeHeard, 1) << "an event pending at removal is not delivered";
  EXPECT_EQ(hal.listenerCount(), 1u);
}

}  // namespace
}  // namespace tavuno
