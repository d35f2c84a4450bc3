#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "engine/rt/taudio_ring.h"
#include "engine/rt/tdsp.h"
#include "engine/sessions/ManagedAudioSession.h"
#include "engine/taps/DuplexStream.h"
#include "engine/taps/TapPlatform.h"

namespace tavuno {

// Since when the stream has run, and the ring counts (underruns, overruns) that the health rule
// measures from once the first second is over.
struct DuplexStreamHealth {
  double startedAt = 0;  // uptime seconds, right after capture started
  std::optional<std::pair<std::uint64_t, std::uint64_t>> baseline;
};

// The per-application path for virtual outputs that also have an input, where an aggregate
// around the output could pick that input up. Capture and playback are kept apart: a private
// tap alone in a private aggregate device feeds a ring from its I/O callback, and the system
// output unit, bound to the output with its input side off, plays from the ring through the
// gain kernel in its render callback. The unit converts the capture rate to the device's.
//
// Single use: a second start fails, even after stop(); the orchestration makes a new session.
//
// Threads: every member function runs on the owner's thread, one call at a time. The capture
// callback (the session's queue) is the ring's only writer; the render callback (the unit's
// real-time thread) is its only reader and the only user of the render context.
class DuplexProcessTap final : public ManagedAudioSession {
 public:
  using Failure = SessionFailure;
  static constexpr std::uint32_t ringFrames = 16384;

  // Makes the ring, the kernel state and the capture queue ("com.tavuno.duplex.capture",
  // user-interactive), caps `prefillFrames` at the ring's capacity; no platform audio call.
  // When the ring or kernel state cannot be allocated, start fails with "Não foi possível
  // preparar a reprodução.".
  DuplexProcessTap(SessionPorts ports, CleanupFilter cleanupResult,
                   std::optional<double> experimentalCaptureRate, std::uint32_t prefillFrames);
  // stop(), then frees the ring and kernel state, unless a cleanup step ever failed: then they
  // and the render context are retained for the life of the process, since a callback the
  // platform did not remove may still use them.
  ~DuplexProcessTap() override;
  DuplexProcessTap(const DuplexProcessTap&) = delete;
  DuplexProcessTap& operator=(const DuplexProcessTap&) = delete;

  SessionDiagnostics diagnostics() const override;
  float outputPeak() const override;
  bool cleanupFailed() const override { return cleanupFailed_; }
  [[nodiscard]] std::optional<Failure> start(const std::vector<AudioObjectID>& processes,
                                             const AudioDevice& output) override;
  void stop() override;
  void setGain(float gain, bool muted) override;
  // Ring losses of more than 1024 frames since the baseline taken in the first second after
  // start, or more than 1024 kernel underruns (format mismatches). False when not running.
  bool shouldStopForBufferHealth(double now) override;

  // The ring's cumulative losses: frames playback found missing, and frames capture could not
  // store. Any thread.
  struct RingCounts {
    std::uint64_t underruns = 0;
    std::uint64_t overruns = 0;
  };
  RingCounts ringCounts() const;

  // Whether the output unit's input side is enabled.
  [[nodiscard]] std::optional<Failure> inputEnabled(bool& enabled) const;

  bool running() const { return running_; }
  std::uint32_t prefillFrames() const { return prefillFrames_; }
  // The rate frames enter the output unit at; set by a successful start.
  std::optional<double> clientSampleRate() const { return clientSampleRate_; }

 private:
  std::optional<Failure> build(const std::vector<AudioObjectID>& processes,
                               const AudioDevice& output);
  std::optional<Failure> readCaptureFormat(AudioStreamBasicDescription& format);
  std::optional<Failure> prepareUnit(const AudioDevice& output, double clientRate);
  void judgeCleanup(OSStatus status);

  SessionPorts ports_;
  CleanupFilter cleanupResult_;
  std::optional<double> experimentalCaptureRate_;
  std::uint32_t prefillFrames_;
  std::optional<double> clientSampleRate_;
  AudioObjectID tap_ = kAudioObjectUnknown;
  AudioObjectID aggregate_ = kAudioObjectUnknown;
  std::optional<IOProcID> proc_;
  std::optional<AudioUnitRef> unit_;
  bool captureStarted_ = false;
  bool outputInitialized_ = false;
  bool outputStarted_ = false;
  bool attempted_ = false;
  taudio_ring* ring_;
  tdsp_state* dsp_;
  std::unique_ptr<DuplexRenderContext> context_;
  std::shared_ptr<SerialQueue> queue_;
  bool running_ = false;
  bool cleanupFailed_ = false;
  std::optional<DuplexStreamHealth> health_;
};

}  // namespace tavuno
