#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "engine/sessions/ManagedAudioSession.h"
#include "platform/linux/ControlLock.h"
#include "platform/linux/PipeWireGraph.h"
#include "platform/linux/PulseGuardian.h"
#include "platform/linux/SessionControlPlane.h"
#include "platform/linux/SteerJournal.h"

namespace tavuno {

// Makes the per-application sessions of a Linux desktop for the service
// (`ServiceOptions::makeSession`): a PipeWireSession when a PipeWire server answers, else the
// PulseSession fallback on a real PulseAudio. The duplex flag has no Linux meaning (no Linux
// device has both directions), so both values get the same kind. Owns what the sessions share:
// the PipeWire connection, the journal of steered streams and the PulseAudio sessions' guardian.
// Outlives every session it made.
//
// Holds this user's control lock (ControlLock, in the journal's folder) for as long as it
// lives: while another Tavuno process has it, every session it makes refuses to start, saying
// so, and the devices and their volume are all this Tavuno controls. The lock is tried again at
// each start, so control passes on when the other Tavuno quits.
class LinuxSessionFactory {
 public:
  // `guardian` is the program that cleans up after a killed Tavuno on PulseAudio
  // (PulseGuardian.h), started at the first PulseAudio session; empty: none.
  explicit LinuxSessionFactory(const SessionControlPlane& plane,
                               std::string journalDir = SteerJournal::defaultDir(),
                               std::string guardian = PulseGuardian::defaultExecutable());
  // Waits for a sweep still running (only a test lets the factory go that early).
  ~LinuxSessionFactory();
  LinuxSessionFactory(const LinuxSessionFactory&) = delete;
  LinuxSessionFactory& operator=(const LinuxSessionFactory&) = delete;

  // Whether this process holds the control lock (tried again when not).
  bool controlsApps();

  // Puts back what a Tavuno that was killed left steered (PipeWire) or tapped (PulseAudio).
  // Call once before the service starts any session; answers the streams it put back.
  int sweep();
  // The same on a thread of its own, returning at once: reaching a server that does not
  // answer takes seconds, which the thread building the app must not wait out. Every session
  // this factory makes waits for it to end before it is handed out, so nothing is steered
  // before the sweep is done. `done` gets the streams put back, on the sweep's thread, before
  // any session is handed out.
  void sweepInBackground(std::function<void(int restored)> done = {});
  // The factory for `ServiceOptions::makeSession`; any thread.
  std::function<std::shared_ptr<ManagedAudioSession>(bool duplex)> factory();

  PipeWireGraphSource& graphs() { return graphs_; }
  SteerJournal& journal() { return journal_; }

 private:
  const SessionControlPlane& plane_;
  PipeWireGraphSource graphs_;
  SteerJournal journal_;
  std::shared_ptr<ControlLock> control_;
  PulseGuardian guardian_;
  std::mutex takeOver_;  // one worker takes the lock over (and sweeps) at a time

  void waitForSweep();
  std::mutex sweepMutex_;
  std::condition_variable swept_;
  bool sweeping_ = false;
  std::thread sweeper_;
};

}  // namespace tavuno
