#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

#include "platform/sim/SimTapPlatform.h"

namespace tavuno {

// Runs a SimTapPlatform's callbacks on a virtual clock, as a running audio server would: every
// running I/O callback and every started output unit gets one cycle of `framesPerCycle` frames
// per period at its rate (the aggregate's nominal rate; the unit's input stream format rate),
// in time order, output units first at equal times. Tap input streams carry the test signal,
// other input streams silence; output buffers are filled with `unwritten` before each cycle,
// and whatever reaches a device is recorded. Single-threaded.
class SimTapDriver {
 public:
  // The tapped processes' mix: the sample of `channel` in frame `frame` (counted per stream from
  // the first cycle).
  using Signal = std::function<float(std::uint64_t frame, std::uint32_t channel)>;

  struct Playback {
    std::uint32_t channels = 0;
    std::vector<float> samples;  // interleaved
  };

  static constexpr float unwritten = 1234.5f;

  explicit SimTapDriver(SimTapPlatform& platform, std::uint32_t framesPerCycle = 512);

  void setSignal(Signal signal) { signal_ = std::move(signal); }
  // Seconds since the driver was made.
  double now() const { return now_; }
  // Moves the clock forward, running every cycle that falls due.
  void advance(double seconds);
  // What reached `device` so far; empty when nothing did.
  const Playback& played(AudioObjectID device) const;
  void clearPlayed() { played_.clear(); }

 private:
  enum class Kind { unit, proc };
  struct Source {
    double nextDue = 0;
    std::uint64_t frames = 0;  // frames delivered so far
    bool seen = false;
  };
  using Key = std::pair<Kind, std::uint64_t>;

  void refreshSources();
  double periodOf(const Key& key) const;
  void runProc(IOProcID proc, Source& source);
  void runUnit(AudioUnitRef unit);
  void record(AudioObjectID device, const AudioBuffer& buffer);
  AudioBufferList& list(std::vector<std::uint64_t>& storage, std::uint32_t buffers);

  SimTapPlatform& platform_;
  std::uint32_t framesPerCycle_;
  Signal signal_;
  double now_ = 0;
  std::map<Key, Source> sources_;
  std::map<AudioObjectID, Playback> played_;
  std::vector<std::uint64_t> inputList_, outputList_;
  std::vector<std::vector<float>> inputData_, outputData_;
};

}  // namespace tavuno
