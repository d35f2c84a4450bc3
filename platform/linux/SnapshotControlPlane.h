#pragma once

#include "platform/linux/SessionControlPlane.h"
#include "platform/linux/SnapshotHub.h"

namespace tavuno {

// The sessions' view of the Hal's objects, read from the mirror's latest snapshot: an output
// device's node name and channels (the snapshot carries no rate: 48000), a process object's
// pid, and whether the server is PipeWire. Any thread; never waits on the server.
class SnapshotControlPlane : public SessionControlPlane {
 public:
  explicit SnapshotControlPlane(const SnapshotHub& hub) : hub_(hub) {}

  std::optional<Output> output(AudioObjectID device) const override;
  std::optional<Process> process(AudioObjectID object) const override;
  bool serverIsPipeWire() const override;

 private:
  const SnapshotHub& hub_;
};

}  // namespace tavuno
