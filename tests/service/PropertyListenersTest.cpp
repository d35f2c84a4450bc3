#include "service/PropertyListeners.h"

#include <gtest/gtest.h>

#include "hal/HalReaders.h"
#include "platform/sim/SimHal.h"
#include "platform/sim/SimMainQueue.h"

namespace tavuno {
namespace {

class PropertyListenersTest : public ::testing::Test {
 protected:
  SimMainQueue main;
  SimHal hal{main};
  AudioObjectID speakers = hal.addDevice({.uid = "speakers",
                                          .transport = transport::builtIn,
                                          .outputStreams = 1,
                                          .masterVolume = SimControl{0.5f},
                                          .mute = SimControl{0}});
  const PropertyAddress volume{selector::volumeScalar, scope::output, kElementMain};
  const PropertyAddress mute{selector::mute, scope::output, kElementMain};
};

TEST_F(PropertyListenersTest, EachChangeCallsBackUntilTheSetIsCleared) {
  PropertyListeners listeners(hal);
  int changes = 0;
  listeners.add(speakers, volume, [&] { ++changes; });
  hal.setVolume(speakers, kElementMain, 0.25f);
  main.advance(0);
  EXPECT_EQ(changes, 1);

  listeners.clear();
  EXPECT_EQ(listeners.size(), 0u);
  EXPECT_EQ(hal.listenerCount(), 0u);
  hal.setVolume(speakers, kElementMain, 0.75f);
  main.advance(0);
  EXPECT_EQ(changes, 1) << "a cleared listener is not called";
}

TEST_F(PropertyListenersTest, AFailedRegistrationIsDroppedAndTheRestGoWithTheSet) {
  {
    PropertyListeners listeners(hal);
    hal.injectFault(
        {.operation = SimHal::Operation::addListener, .selector = selector::mute, .remaining = 1});
    listeners.add(speakers, mute, [] {});
    listeners.add(speakers, volume, [] {});
    EXPECT_EQ(listeners.size(), 1u);
    EXPECT_EQ(hal.listenerCount(speakers, mute), 0u);
    EXPECT_EQ(hal.listenerCount(speakers, volume), 1u);
  }
  EXPECT_EQ(hal.listenerCount(), 0u) << "removed when the set goes";
  EXPECT_EQ(hal.callCount(SimHal::Operation::removeListener), 1u)
      << "only the registration that was made is removed";
}

}  // namespace
}  // namespace tavuno
