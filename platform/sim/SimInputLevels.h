#pragma once

#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "base/ports/MainQueue.h"
#include "hal/InputLevelPort.h"
#include "platform/sim/SimHal.h"

namespace tavuno {

// Simulated input meters: each device delivers a peak that is a function of
// the main queue's clock (virtual time in tests), so what a meter reads is
// deterministic; a device muted on `hal` (when given) delivers silence, as a
// muted source does. Faults: opens that fail, streams that fail while open,
// streams held in their opening state. Main thread only.
class SimInputLevels : public InputLevelPort {
 public:
  // The linear peak a device delivers at `seconds` of the main queue's clock.
  using Signal = std::function<float(double seconds)>;

  explicit SimInputLevels(MainQueue& main, const SimHal* hal = nullptr);
  ~SimInputLevels() override;

  std::unique_ptr<InputLevelStream> open(AudioObjectID device) override;

  // A device with no signal delivers silence.
  void setSignal(AudioObjectID device, Signal signal);
  void setLevel(AudioObjectID device, float peak) {
    setSignal(device, [peak](double) { return peak; });
  }

  // The next `count` opens of `device` fail (-1: all of them).
  void failOpens(AudioObjectID device, int count = -1);
  // Every open stream of `device` fails now, as when it is unplugged.
  void failStreams(AudioObjectID device);
  // While held, new streams stay opening; releasing starts them all.
  void holdOpening(bool hold);

  // The device of each open stream, in the order they were opened.
  std::vector<AudioObjectID> openDevices() const;
  // How many opens were asked for, failed ones included.
  int opens() const;

  struct Shared;

 private:
  std::shared_ptr<Shared> shared_;
};

}  // namespace tavuno
