#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "hal/HalTypes.h"

namespace tavuno {

// What a per-application session needs to know of the Hal's objects, answered from the
// control plane's current snapshot. Called on the application's worker; never blocks on the
// server.
class SessionControlPlane {
 public:
  struct Output {
    std::string nodeName;        // the sink's node name
    std::uint32_t rate = 48000;  // its sample rate (48000 when the server did not say)
    std::uint32_t channels = 2;  // its channel count
  };
  struct Process {
    std::int32_t pid = 0;
    std::uint64_t startTime = 0;  // field 22 of /proc/<pid>/stat
  };

  virtual ~SessionControlPlane() = default;
  // A visible output device; nothing for any other id.
  virtual std::optional<Output> output(AudioObjectID device) const = 0;
  // A live process object; nothing for any other id.
  virtual std::optional<Process> process(AudioObjectID object) const = 0;
  // Whether the server is PipeWire (through pipewire-pulse) rather than PulseAudio.
  virtual bool serverIsPipeWire() const = 0;

  // What a session starts on: the processes' pids with their start times, and the output with
  // its rate (48000 when unknown) and channel count (mono or stereo). Nothing when one is gone.
  struct Targets {
    std::set<std::int32_t> pids;
    std::map<std::int32_t, std::uint64_t> pidStarts;
    Output output;
  };
  std::optional<Targets> targets(const std::vector<AudioObjectID>& processes,
                                 AudioObjectID device) const {
    Targets t;
    for (AudioObjectID object : processes) {
      auto found = process(object);
      if (!found) return std::nullopt;
      t.pids.insert(found->pid);
      t.pidStarts[found->pid] = found->startTime;
    }
    auto sink = output(device);
    if (!sink) return std::nullopt;
    t.output = *sink;
    if (t.output.rate == 0) t.output.rate = 48000;
    t.output.channels = t.output.channels == 1 ? 1 : 2;
    return t;
  }
};

}  // namespace tavuno
