#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include "platform/linux/PulseGuardianPlan.h"

namespace tavuno {

// The fallback's null sinks belong to the PulseAudio server, not to Tavuno's connection, so a
// Tavuno that is killed leaves its applications silent in them. The guardian is a small process
// of its own (the tavuno-guardian program) that outlives Tavuno just long enough to undo that:
// its standard input is one end of a socket pair whose other end only Tavuno holds, so it reads
// end of file the moment Tavuno dies, however it dies. It then connects to the server, moves
// the applications' streams back to where the journal says they were and unloads the null
// sinks Tavuno told it about, and exits; with none left (a normal quit) it exits at once,
// without connecting.
//
// This is the Tavuno side: it starts the guardian (at the first tap) and tells it of every tap
// loaded and unloaded. A guardian that died is started again at the next call, and told of the
// taps still loaded. Any thread.
class PulseGuardian {
 public:
  // `executable` is the guardian program (empty: none, nothing is guarded); `journalDir` the
  // folder of the steering journal.
  PulseGuardian(std::string executable, std::string journalDir);
  // Closes Tavuno's end and waits a little for the guardian to exit (it has nothing to do when
  // every tap was unloaded).
  ~PulseGuardian();
  PulseGuardian(const PulseGuardian&) = delete;
  PulseGuardian& operator=(const PulseGuardian&) = delete;

  // Starts the guardian when it is not running; false when it cannot be.
  bool start();
  // The same for callers that check often: a guardian that keeps failing to start or to stay
  // up is tried again at most once a second.
  void keepRunning();
  // Tells the guardian of a tap (starting it when needed); false when it could not be told.
  bool tapLoaded(std::uint32_t module, const std::string& sink);
  void tapUnloaded(std::uint32_t module);

  // The running guardian's pid; 0 when there is none.
  pid_t pid() const;

  // tavuno-guardian next to the running executable, or in ../libexec/tavuno beside it (as
  // installed); empty when neither is there.
  static std::string defaultExecutable();

 private:
  bool runningLocked();
  bool spawnLocked();
  bool sendLocked(const std::string& text);
  void closeLocked(double waitSeconds);
  void dropLocked();

  const std::string executable_;
  const std::string journalDir_;
  mutable std::mutex mutex_;
  pid_t pid_ = 0;
  int socket_ = -1;
  std::chrono::steady_clock::time_point lastSpawn_{};
  std::map<std::uint32_t, std::string> taps_;  // what a restarted guardian is told again
};

// The guardian's own run (tavuno-guardian): reads what its owner logs on `input` until end of
// file, then undoes what is left of the owner's taps on the server the environment names.
// Answers the process's exit status: 0 when nothing was left or everything was undone.
int runPulseGuardian(int input, const GuardianOwner& owner, const std::string& journalDir);

}  // namespace tavuno
