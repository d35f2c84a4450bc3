#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/rt/tdsp.h"
#include "engine/sessions/ManagedAudioSession.h"
#include "engine/taps/TapPlatform.h"

namespace tavuno {

// The standard per-application path, for outputs without a physical input: a private process
// tap that mutes the processes while it is read, a private aggregate device around the output,
// and an I/O callback that copies the tap's stereo mix to the output through the gain kernel
// (folding it to mono for a one-channel output).
//
// Threads: every member function runs on the owner's thread (the orchestration's worker or the
// main thread), one call at a time. The I/O callback runs on the session's queue and reaches
// only the kernel state and a copy of the output format.
class ProcessTap final : public ManagedAudioSession {
 public:
  using Failure = SessionFailure;

  // Makes the kernel state and the callback queue ("tavuno.audio.render", user-interactive); no
  // platform audio call. When the kernel state cannot be allocated every start fails with "Não
  // foi possível preparar a reprodução.".
  ProcessTap(SessionPorts ports, CleanupFilter cleanupResult);
  // stop(), then frees the kernel state, unless a cleanup step ever failed: then a callback the
  // platform did not remove may still use it, and it is retained for the life of the process.
  ~ProcessTap() override;
  ProcessTap(const ProcessTap&) = delete;
  ProcessTap& operator=(const ProcessTap&) = delete;

  SessionDiagnostics diagnostics() const override;
  float outputPeak() const override;
  bool cleanupFailed() const override { return cleanupFailed_; }
  // Refused with "Processo ou saída indisponível." once cleanup has failed, while running, or
  // for no processes or a device that is not an output; refused for an output that also has an
  // input. Any later failure stops what was built before it is returned.
  [[nodiscard]] std::optional<Failure> start(const std::vector<AudioObjectID>& processes,
                                             const AudioDevice& output) override;
  void stop() override;
  void setGain(float gain, bool muted) override;
  // True when the kernel counted more than 1024 missing or surplus frames; `now` is unused.
  bool shouldStopForBufferHealth(double now) override;

  bool running() const { return running_; }

 private:
  std::optional<Failure> build(const std::vector<AudioObjectID>& processes,
                               const AudioDevice& output);
  std::optional<Failure> readOutputFormat(AudioStreamBasicDescription& format);
  std::optional<Failure> readInputFormat(AudioStreamBasicDescription& format);
  void judgeCleanup(OSStatus status);

  SessionPorts ports_;
  CleanupFilter cleanupResult_;
  AudioObjectID tap_ = kAudioObjectUnknown;
  AudioObjectID aggregate_ = kAudioObjectUnknown;
  std::optional<IOProcID> proc_;
  tdsp_state* dsp_;
  std::shared_ptr<SerialQueue> queue_;
  bool running_ = false;
  bool cleanupFailed_ = false;
};

}  // namespace tavuno
