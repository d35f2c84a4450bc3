#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/PipeWireGraph.h"
#include "platform/linux/PipeWireTap.h"
#include "platform/linux/SessionControlPlane.h"
#include "platform/linux/SteerJournal.h"
#include "platform/linux/SteeredSession.h"

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
// Threads: as SteeredSession. The process callback touches only the kernel and the tap's
// scratch.
class PipeWireSession final : public SteeredSession {
 public:
  explicit PipeWireSession(PipeWireSessionPorts ports);
  ~PipeWireSession() override;

  std::uint32_t tapNode() const;
  // Cycles the tap ran short: without capture, with a short capture, or without a playback
  // buffer (the xruns of Tavuno's own streams).
  std::uint32_t shortfalls() const;

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
  std::optional<SessionFailure> open(const SessionControlPlane::Output& output) override;
  void turn() override;
  bool serverUp() const override;
  void seedBeforeStop() override;
  bool restore(std::uint32_t node, const Steered& steered) override;
  void release() override;
  bool streamsBroken() const override;

  std::optional<SessionFailure> steer(const PipeWireGraph::Node& node,
                                      const PipeWireGraph::View& view,
                                      std::optional<SteerRecord> previous);
  // The graph's watcher (PipeWireGraph::watch), on its loop thread.
  void graphChanged(const PipeWireGraph::View& view, const std::vector<std::uint32_t>* nodes);
  void reconcile(const PipeWireGraph::View& view);
  void keepLevels(const PipeWireGraph::View& view);
  // Whether every steered stream's own volume and mute are the application's.
  bool levelsHeld(const PipeWireGraph::View& view);
  bool isAppOutput(const PipeWireGraph::View& view, const PipeWireGraph::Node& node) const;
  // Whether another running Tavuno holds the stream (heldByRival): never steered then.
  bool rivalHolds(const PipeWireGraph::View& view, std::uint32_t node) const;

  PipeWireSessionPorts ports_;
  std::shared_ptr<PipeWireGraph> graph_;
  std::unique_ptr<PipeWireTap> tap_;
  std::uint32_t tapNode_ = 0;
  std::uint64_t watch_ = 0;
  // The application's streams among the nodes changes touch; the watcher's alone.
  std::optional<AppStreamFilter> filter_;
};

}  // namespace tavuno
