#pragma once

#include "hal/InputLevelPort.h"
#include "platform/linux/LinuxHal.h"
#include "platform/linux/PulseMirror.h"

namespace tavuno {

// The input meter on the audio server: a peak-detecting record stream on
// the source, over the mirror's own connection, 25 one-float peaks a second
// (the server computes them; no audio reaches Tavuno). The stream does not
// follow the source elsewhere (the service reopens it on the new default),
// so an unplugged source fails it. Opening looks the source up in the Hal's
// view and queues the rest to the mirror's thread: the main thread never
// waits on the server. Main thread only; the streams' peak and state are
// atomics written on the mirror's thread.
class PulseInputLevels : public InputLevelPort {
 public:
  static constexpr unsigned peaksPerSecond = 25;

  // Both outlive every stream this opens.
  PulseInputLevels(LinuxHal& hal, PulseMirror& mirror) : hal_(hal), mirror_(mirror) {}

  std::unique_ptr<InputLevelStream> open(AudioObjectID device) override;

 private:
  LinuxHal& hal_;
  PulseMirror& mirror_;
};

}  // namespace tavuno
