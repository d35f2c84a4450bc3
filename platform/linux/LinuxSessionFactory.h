#pragma once

#include <functional>
#include <memory>
#include <string>

#include "engine/sessions/ManagedAudioSession.h"
#include "platform/linux/PipeWireGraph.h"
#include "platform/linux/SessionControlPlane.h"
#include "platform/linux/SteerJournal.h"

namespace tavuno {

// Makes the per-application sessions of a Linux desktop for the service
// (`ServiceOptions::makeSession`): a PipeWireSession when a PipeWire server answers, else the
// PulseSession fallback on a real PulseAudio. The duplex flag has no Linux meaning (no Linux
// device has both directions), so both values get the same kind. Owns what the sessions share:
// the PipeWire connection and the journal of steered streams. Outlives every session it made.
class LinuxSessionFactory {
 public:
  explicit LinuxSessionFactory(const SessionControlPlane& plane,
                               std::string journalDir = SteerJournal::defaultDir());

  // Puts back what a Tavuno that was killed left steered (PipeWire) or tapped (PulseAudio).
  // Call once before the service starts any session; answers the streams it put back.
  int sweep();
  // The factory for `ServiceOptions::makeSession`; any thread.
  std::function<std::shared_ptr<ManagedAudioSession>(bool duplex)> factory();

  PipeWireGraphSource& graphs() { return graphs_; }
  SteerJournal& journal() { return journal_; }

 private:
  const SessionControlPlane& plane_;
  PipeWireGraphSource graphs_;
  SteerJournal journal_;
};

}  // namespace tavuno
