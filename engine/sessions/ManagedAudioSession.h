#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "devices/AudioDevice.h"
#include "engine/sessions/SessionFailure.h"

namespace tavuno {

// What the orchestration's watchdog reads from a running session.
struct SessionDiagnostics {
  std::uint32_t callbacks = 0;  // buffers the kernel processed
  float inputPeak = 0;          // of the latest buffer, before the gain
  float outputPeak = 0;         // of the latest buffer, after the gain

  friend bool operator==(const SessionDiagnostics&, const SessionDiagnostics&) = default;
};

// Judges a platform cleanup status: non-zero means the cleanup step failed. The orchestration
// passes the identity; a test may force failures.
using CleanupFilter = std::function<OSStatus(OSStatus)>;

// One per-application audio path, standard or duplex, as the orchestration drives it: construct,
// setGain, start; then any number of setGain, diagnostics and shouldStopForBufferHealth; finally
// stop and release. The orchestration serialises its calls on one thread at a time; sessions
// have no lock of their own. setGain and the readers are safe while the audio callbacks run.
class ManagedAudioSession {
 public:
  virtual ~ManagedAudioSession() = default;

  virtual SessionDiagnostics diagnostics() const = 0;
  // The peak of the latest buffer after the gain (0 before the first), for a
  // level meter read many times a second: cheap and lock-free, safe while
  // the audio callbacks run.
  virtual float outputPeak() const { return diagnostics().outputPeak; }
  // True once any platform cleanup step of this session has failed; never reset.
  virtual bool cleanupFailed() const = 0;
  // Builds and starts the path to `output` for the process objects `processes`. Nothing on
  // success; on failure whatever was built has been torn down again.
  [[nodiscard]] virtual std::optional<SessionFailure> start(
      const std::vector<AudioObjectID>& processes, const AudioDevice& output) = 0;
  // Tears the path down; safe at any time, any number of times.
  virtual void stop() = 0;
  // Linear gain 0...1 (NaN or infinity mean 1); muted means silence. From the next buffer on.
  virtual void setGain(float gain, bool muted) = 0;
  // Whether the stream lost too many frames to go on; `now` is seconds on the uptime clock.
  virtual bool shouldStopForBufferHealth(double now) = 0;
};

}  // namespace tavuno
