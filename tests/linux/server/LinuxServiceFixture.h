#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "linux/stack/AudioStack.h"
#include "platform/linux/LinuxBackEnd.h"
#include "platform/sim/FakeAudioNotifications.h"
#include "platform/sim/ManualSerialQueue.h"
#include "platform/std/ThreadMainQueue.h"
#include "service/AudioService.h"

namespace tavuno::test {

// The one private audio stack of this test binary (started before the first
// test, stopped after the last, whatever happened in between); null when it
// could not start, with the reason.
AudioStack* audioServer();
const std::string& audioServerFailure();
// TAVUNO_REQUIRE_AUDIO_SERVER=1 (CI): a stack that cannot start fails.
bool audioServerRequired();

#define TAVUNO_REQUIRE_AUDIO_SERVER()                                                      \
  do {                                                                                     \
    if (!::tavuno::test::audioServer()) {                                                  \
      if (::tavuno::test::audioServerRequired())                                           \
        FAIL() << "no private audio server: " << ::tavuno::test::audioServerFailure();     \
      GTEST_SKIP() << "no private audio server: " << ::tavuno::test::audioServerFailure(); \
    }                                                                                      \
  } while (0)

// The service on the real platform against the private stack. The test's
// own thread is the main thread: pumpUntil() serves the main queue while it
// waits. Each test leaves the stack's defaults, volumes and mute as it found
// them.
class LinuxServiceTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Serves the main queue until `condition` holds or `seconds` pass.
  bool pumpUntil(const std::function<bool()>& condition, double seconds);
  void pump(double seconds);
  // Makes the service (after the mirror's first sync).
  void makeService(bool startTimer = true);

  AudioObjectID idOf(const std::string& uid) const;
  std::string defaultSinkOnServer();

  AudioStack& server() { return *audioServer(); }

  ThreadMainQueue main;
  InMemoryDefaultsStore defaults;
  ManualSerialQueueFactory workers;
  std::shared_ptr<FakeAudioNotifications> notifications;
  std::unique_ptr<LinuxBackEnd> backEnd;
  PulseMirror* mirror = nullptr;  // the back end's
  LinuxHal* hal = nullptr;
  std::shared_ptr<AudioService> service;
};

}  // namespace tavuno::test
