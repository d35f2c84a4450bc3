#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "platform/linux/PipeWireGraph.h"

namespace tavuno {

// Another Tavuno on the same audio server (a second login, or the desktop app next to
// tavuno-headless) marks its taps with its pid and start time like this one does. A stream in
// such a tap is that Tavuno's: steering it back would start a tug of war in which both move it
// dozens of times and one of them ends up controlling nothing.

// The start time of a running process, nothing when it does not run (processStartTime).
using ProcessStartOf = std::function<std::optional<std::uint64_t>(std::int32_t pid)>;

// Whether a node marked as Tavuno's (`tavuno.owner.pid` = ownerPid, `tavuno.owner.start` =
// ownerStart, 0 when not carried) belongs to another Tavuno that still runs: a pid other than
// `self` that is alive, and, when the mark carries a start time, alive since then (pids are
// recycled). An unmarked node (pid 0) is nobody's.
bool ownedByRival(std::int32_t ownerPid, std::uint64_t ownerStart, std::int32_t self,
                  const ProcessStartOf& startOf);

// Whether another running Tavuno holds the stream `stream`: its target.object names one of
// that Tavuno's nodes, or, when it has no target, it is linked into one. Such a stream is never
// steered.
bool heldByRival(const PipeWireGraph::View& view, std::uint32_t stream, std::int32_t self,
                 const ProcessStartOf& startOf);

}  // namespace tavuno
