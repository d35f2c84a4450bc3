#pragma once

#include <cstdint>
#include <optional>
#include <string>

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
};

}  // namespace tavuno
