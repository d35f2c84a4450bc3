#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "engine/rt/tdsp.h"
#include "engine/sessions/ManagedAudioSession.h"
#include "platform/linux/FollowerGate.h"
#include "platform/linux/SessionControlPlane.h"
#include "platform/linux/SteerJournal.h"

namespace tavuno {

// What the per-application sessions on Linux have in common, whatever the server: the kernel
// state, the application's processes, the streams steered into the tap with their records in
// the journal, the gain and mute under their lock, the follower thread, and the order of start
// and stop (stop puts every steered stream back before the tap goes; one that cannot be put back
// marks cleanupFailed). A server's session fills in the hooks: building its tap and steering the
// streams there at start, a turn of the follower, putting one stream back, releasing the tap.
//
// The follower is fed by events: it sleeps until the server reports a change of one of the
// application's own streams (the session's server filters them: AppStreamFilter, and calls
// nudgeFollower), the application's volume or mute changes, or stop; a burst of changes is one
// turn, and turns come at most once per 25 ms (FollowerGate).
//
// Threads: start, stop, diagnostics, cleanupFailed and shouldStopForBufferHealth on the
// orchestration's side, one call at a time; setGain also from the main thread while the
// follower runs. steered_ is written by the owner's thread or the follower, never both at once;
// its lock is for readers on other threads (steeredNodes). The audio callbacks touch only the
// kernel (dsp_), never anything here that locks or allocates.
class SteeredSession : public ManagedAudioSession {
 public:
  ~SteeredSession() override;
  SteeredSession(const SteeredSession&) = delete;
  SteeredSession& operator=(const SteeredSession&) = delete;

  SessionDiagnostics diagnostics() const final;
  bool cleanupFailed() const final { return cleanupFailed_; }
  [[nodiscard]] std::optional<SessionFailure> start(const std::vector<AudioObjectID>& processes,
                                                    const AudioDevice& output) final;
  void stop() final;
  void setGain(float gain, bool muted) final;
  // The rule of the tap-based session: more than 1024 missing or surplus frames in the kernel.
  // A tap whose streams broke (the server went away) also answers true, and so does a session
  // all of whose streams another Tavuno took.
  bool shouldStopForBufferHealth(double now) final;

  // The tap's name while started (tests, diagnostics).
  const std::string& tapName() const { return tapName_; }
  // The streams currently steered into the tap (node ids, or sink-input indexes).
  std::vector<std::uint32_t> steeredNodes() const;

 protected:
  struct Steered {
    std::uint64_t serial = 0;  // the stream's serial when steered (Pulse: its index)
    SteerRecord record;
    std::optional<float> requestedVolume;  // the last stream volume asked for, not yet reported
  };
  // The application's volume and mute, and the count of their changes.
  struct Levels {
    float gain = 1.0f;
    bool muted = false;
    std::uint64_t version = 0;
  };

  SteeredSession(const SessionControlPlane& plane, SteerJournal& journal);

  // Connects, builds the tap and steers the application's streams into it. A failure is
  // returned as it is; stop's teardown then undoes whatever was built.
  virtual std::optional<SessionFailure> open(const SessionControlPlane::Output& output) = 0;
  // A turn of the follower: something of the application's streams or levels changed.
  virtual void turn() = 0;
  // The follower calls beat() at every wake, a turn's included, and at least every
  // beatSeconds() (0: only at its turns).
  virtual double beatSeconds() const { return 0.0; }
  virtual void beat() {}
  // Whether the server is still there; stop seeds the levels only then.
  virtual bool serverUp() const = 0;
  // At stop, with a gain change the follower had no turn for: seed it for the next start.
  virtual void seedBeforeStop() = 0;
  // Puts one steered stream back, verified. True also when there is nothing left to put back
  // (the stream or the server is gone, another Tavuno holds it): its record then goes.
  virtual bool restore(std::uint32_t id, const Steered& steered) = 0;
  // Destroys the tap and drops the connection; the streams are back by now.
  virtual void release() = 0;
  // Whether the tap's own streams broke.
  virtual bool streamsBroken() const = 0;

  // Names the tap of this start (tapName_) and answers its "<pid>.<n>" suffix, which the
  // tap's other objects share.
  std::string claimTapName();
  // A change the follower must look at; from any thread, the server's loop included.
  void nudgeFollower() { gate_.nudge(); }
  bool tapped(std::int32_t pid) const { return pids_.count(pid) != 0; }
  const std::set<std::int32_t>& pids() const { return pids_; }
  Levels levels() const;
  // Takes the loudest steered stream's own volume (none known: 1), so that the kernel makes up
  // the rest of the application's volume, and answers the levels as they are now.
  Levels holdStreamLevel(float level, bool known);
  // Whether the restore data still has to be seeded with `version` of the levels.
  bool seedDue(std::uint64_t version) const { return version != seededVersion_; }
  void seeded(std::uint64_t version) { seededVersion_ = version; }
  // A fresh record of a stream of the application about to go into the tap.
  SteerRecord newRecord(std::uint32_t node, std::uint64_t serial, std::int32_t pid,
                        std::uint64_t server) const;
  // Starts following a stream; the entry stays where it is while the stream is steered.
  Steered& track(std::uint32_t id);
  // The journal's copy of a record: written before steering, replaced, removed.
  bool record(const SteerRecord& record) { return journal_.add(record); }
  void rewrite(const SteerRecord& record);
  void forget(const SteerRecord& record);
  // Stops following the streams `gone` names (they went away), their records with them.
  void dropWhere(const std::function<bool(std::uint32_t, const Steered&)>& gone);
  // Lets a stream another Tavuno took go without moving it: its record goes; true when it was
  // steered. Once a turn let one go and nothing is steered any more, the session has lost the
  // application (settleRivals).
  bool letGo(std::uint32_t id);
  void settleRivals(bool yielded);

  tdsp_state* const dsp_;
  std::string tapName_;  // "tavuno.tap.<pid>.<n>", unique in the run
  std::map<std::uint32_t, Steered> steered_;
  bool cleanupFailed_ = false;

 private:
  void teardown();
  void follow();
  // With gainMutex_ held. The streams play at their own volume before the tap; the kernel
  // makes up the rest, so what is heard is never above the application's volume.
  void applyKernelGain();
  bool seedPending() const;

  const SessionControlPlane& plane_;
  SteerJournal& journal_;
  std::set<std::int32_t> pids_;
  std::map<std::int32_t, std::uint64_t> pidStarts_;
  mutable std::mutex steeredMutex_;
  std::thread follower_;
  FollowerGate gate_;
  std::atomic<bool> lostToRival_{false};  // every steered stream went to another Tavuno
  bool running_ = false;

  mutable std::mutex gainMutex_;  // gain_, muted_, streamLevel_, gainVersion_
  float gain_ = 1.0f;
  bool muted_ = false;
  float streamLevel_ = 1.0f;  // the loudest steered stream's own volume
  std::uint64_t gainVersion_ = 0;
  std::uint64_t seededVersion_ = ~std::uint64_t{0};
};

}  // namespace tavuno
