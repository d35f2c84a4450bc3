#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "engine/sessions/ManagedAudioSession.h"
#include "service/AudioService.h"

namespace tavuno::test {

// A session whose outcome the test scripts, recording what it was asked.
class FakeSession : public ManagedAudioSession {
 public:
  SessionDiagnostics diagnostics() const override { return {callbacks, 0, 0}; }
  bool cleanupFailed() const override { return failCleanup && startCalls + stopCalls > 0; }
  std::optional<SessionFailure> start(const std::vector<AudioObjectID>& processes,
                                      const AudioDevice& output) override {
    ++startCalls;
    startedProcesses = processes;
    startedOutput = output;
    return startFailure;
  }
  void stop() override { ++stopCalls; }
  void setGain(float g, bool m) override {
    gain = g;
    muted = m;
  }
  bool shouldStopForBufferHealth(double) override { return unhealthy; }

  // Scripted.
  std::optional<SessionFailure> startFailure;
  bool failCleanup = false;
  std::uint32_t callbacks = 1;
  bool unhealthy = false;
  // Recorded.
  int startCalls = 0;
  int stopCalls = 0;
  std::vector<AudioObjectID> startedProcesses;
  AudioDevice startedOutput;
  float gain = -1;
  bool muted = false;
  bool duplex = false;
};

// Makes FakeSessions and keeps every one, newest last; `next` scripts the
// next one made.
struct FakeSessionFactory {
  std::vector<std::shared_ptr<FakeSession>> made;
  std::function<void(FakeSession&)> next;

  SessionFactory factory() {
    return [this](bool duplex) -> SessionRef {
      auto session = std::make_shared<FakeSession>();
      session->duplex = duplex;
      if (next) next(*session);
      made.push_back(session);
      return session;
    };
  }
};

}  // namespace tavuno::test
