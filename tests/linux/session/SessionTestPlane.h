#pragma once

#include <sys/types.h>

#include <map>

#include "platform/linux/ProcFs.h"
#include "platform/linux/SessionControlPlane.h"

namespace tavuno::test {

// The control plane as a session sees it, filled by the test: Hal ids for two outputs (1 the
// default sink, 2 the USB DAC, unless `outputs` says otherwise) and for the processes it
// starts.
class SessionTestPlane : public SessionControlPlane {
 public:
  std::optional<Output> output(AudioObjectID device) const override {
    auto it = outputs.find(device);
    if (it == outputs.end()) return std::nullopt;
    return Output{it->second, 48000, 2};
  }
  std::optional<Process> process(AudioObjectID object) const override {
    auto it = pids.find(object);
    if (it == pids.end()) return std::nullopt;
    auto start = processStartTime(it->second);
    if (!start) return std::nullopt;
    return Process{it->second, *start};
  }
  bool serverIsPipeWire() const override { return pipewire; }

  std::map<AudioObjectID, std::string> outputs = {{1, "builtin_speakers"}, {2, "usb_dac"}};
  std::map<AudioObjectID, pid_t> pids;
  bool pipewire = true;
};

}  // namespace tavuno::test
