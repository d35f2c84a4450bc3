#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "engine/rt/tdsp.h"
#include "engine/sessions/ManagedAudioSession.h"
#include "platform/linux/PipeWireGraph.h"
#include "platform/linux/PipeWireTap.h"
#include "platform/linux/SessionControlPlane.h"
#include "platform/linux/SteerJournal.h"

namespace tavuno {

// What a PipeWire session needs from the outside world; all of it outlives the session.
struct PipeWireSessionPorts {
  const SessionControlPlane& plane;
  PipeWireGraphSource& graphs;
  SteerJournal& journal;
  // Tests only: called after each write of a stream's target (attempt 0, 1, 2), steering or
  // restoring; and around every cycle.
  std::function<void(std::uint32_t node, int attempt, bool restoring)> afterTargetWrite;
  const CycleObserver* observer = nullptr;
};

// The per-application path on PipeWire. start() builds a tap sink and a playback to the output
// (PipeWireTap), then steers every output stream of the application's processes into the tap
// through the `default` metadata's target.object, verifying each move and retrying lost ones.
// While started, a follower thread steers the application's new streams too, steers back a
// stream another program moved away (its choice becomes the one restored), keeps the streams
// no louder than the application's volume, and keeps that volume and its mute seeded in
// WirePlumber's restore data so a new stream of the application starts at it (and silent when
// it is muted). stop() restores every stream, verified, before it destroys the streams. Every
// steering is recorded on disk first (the journal) and the record removed after a verified
// restore, so a killed Tavuno is cleaned up after by sweep() in the next one. A stream another
// running Tavuno holds (heldByRival) is never steered: an application with one is refused at
// start, a steered stream another Tavuno takes is let go without being moved again, and a
// session all of whose streams went that way stops (shouldStopForBufferHealth).
//
// Threads: start, stop, diagnostics, cleanupFailed and shouldStopForBufferHealth on the
// orchestration's side, one call at a time; setGain also from the main thread while the
// follower runs. The process callback touches only the kernel and the tap's scratch.
class PipeWireSession final : public ManagedAudioSession {
 public:
  explicit PipeWireSession(PipeWireSessionPorts ports);
  ~PipeWireSession() override;
  PipeWireSession(const PipeWireSession&) = delete;
  PipeWireSession& operator=(const PipeWireSession&) = delete;

  SessionDiagnostics diagnostics() const override;
  bool cleanupFailed() const override { return cleanupFailed_; }
  [[nodiscard]] std::optional<SessionFailure> start(const std::vector<AudioObjectID>& processes,
                                                    const AudioDevice& output) override;
  void stop() override;
  void setGain(float gain, bool muted) override;
  // The rule of the tap-based session: more than 1024 missing or surplus frames in the kernel.
  // The tap never feeds it a short or missing capture as a mismatch, so only a real one counts.
  // A tap whose streams broke (the server went away) also answers true.
  bool shouldStopForBufferHealth(double now) override;

  // The tap's node name while started (tests, diagnostics).
  std::string tapName() const;
  std::uint32_t tapNode() const;
  // Cycles the tap ran short: without capture, with a short capture, or without a playback
  // buffer (the xruns of Tavuno's own streams).
  std::uint32_t shortfalls() const;
  // Nodes currently steered into the tap.
  std::vector<std::uint32_t> steeredNodes() const;

  // Puts back what a Tavuno that is no longer running left steered, before any session
  // starts: only streams of this server run (its core cookie) that the record's application
  // process, by pid and start time, still plays (planSweep); other records are dropped
  // without acting. Answers how many streams it put back.
  static int sweep(PipeWireGraph& graph, SteerJournal& journal);

  // The route-settings key WirePlumber restores a stream's volume from, for a stream with
  // these properties (the first present of media.role, application.id, application.name,
  // media.name, node.name); empty when none is present.
  static std::string restoreKey(const std::map<std::string, std::string>& props);
  // The value seeded under it: volume `volume` on `channels` channels, muted or not.
  static std::string restoreValue(float volume, std::size_t channels, bool muted = false);

 private:
  struct Steered {
    std::uint64_t serial = 0;
    SteerRecord record;
    std::optional<float> requestedVolume;  // the last stream volume we asked for
  };

  std::optional<SessionFailure> steer(const PipeWireGraph::Node& node,
                                      const PipeWireGraph::View& view,
                                      std::optional<SteerRecord> previous);
  bool restore(std::uint32_t node, const Steered& steered);
  void follow();
  void reconcile(const PipeWireGraph::View& view);
  void keepLevels(const PipeWireGraph::View& view);
  // Whether every steered stream's own volume and mute are the application's.
  bool levelsHeld(const PipeWireGraph::View& view);
  bool isAppOutput(const PipeWireGraph::View& view, const PipeWireGraph::Node& node) const;
  // Whether another running Tavuno holds the stream (heldByRival): never steered then.
  bool rivalHolds(const PipeWireGraph::View& view, std::uint32_t node) const;
  void applyKernelGain();
  void teardown();

  PipeWireSessionPorts ports_;
  tdsp_state* dsp_;
  std::shared_ptr<PipeWireGraph> graph_;
  std::unique_ptr<PipeWireTap> tap_;
  std::string tapName_;
  std::uint32_t tapNode_ = 0;
  std::set<std::int32_t> pids_;
  std::map<std::int32_t, std::uint64_t> pidStarts_;
  // Written by the owner's thread or the follower, never both at once; the lock is for readers
  // on other threads (steeredNodes).
  std::map<std::uint32_t, Steered> steered_;
  mutable std::mutex steeredMutex_;
  std::thread follower_;
  std::atomic<bool> following_{false};
  std::atomic<bool> lostToRival_{false};  // every steered stream went to another Tavuno
  bool running_ = false;
  bool cleanupFailed_ = false;

  mutable std::mutex gainMutex_;  // gain_, muted_, streamLevel_, gainVersion_
  float gain_ = 1.0f;
  bool muted_ = false;
  float streamLevel_ = 1.0f;  // the loudest steered stream's own volume
  std::uint64_t gainVersion_ = 0;
  std::uint64_t seededVersion_ = ~std::uint64_t{0};
  bool seedPending() {
    std::lock_guard<std::mutex> guard(gainMutex_);
    return seededVersion_ != gainVersion_;
  }
};

}  // namespace tavuno
