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
//
// The mark is a property any client can set on its own nodes, so it is believed only when it
// names a process that runs since the start time it carries, and, where the server says which
// process made the node (the credentials of its client), that very process: a player that
// copies the mark does not hide its streams, and one that names a dead or made-up Tavuno owns
// nothing.

// The start time of a running process, nothing when it does not run (processStartTime).
using ProcessStartOf = std::function<std::optional<std::uint64_t>(std::int32_t pid)>;

// Whether the mark `tavuno.owner.pid` = ownerPid, `tavuno.owner.start` = ownerStart names a live
// Tavuno: a pid above 0 whose process runs since ownerStart (not 0: a mark without its start
// time proves nothing, pids are recycled), and, when `creator` (the pid the server took from the
// socket of the node's client) is known, the same pid.
bool liveTavunoMark(std::int32_t ownerPid, std::uint64_t ownerStart,
                    std::optional<std::int32_t> creator, const ProcessStartOf& startOf);

// liveTavunoMark for a node of the graph, its creator from the view's clients.
bool ownedByTavuno(const PipeWireGraph::View& view, const PipeWireGraph::Node& node,
                   const ProcessStartOf& startOf);

// Whether a node marked as Tavuno's belongs to another Tavuno that still runs: a live mark
// (liveTavunoMark) of a pid other than `self`. An unmarked node (pid 0) is nobody's.
bool ownedByRival(std::int32_t ownerPid, std::uint64_t ownerStart, std::int32_t self,
                  const ProcessStartOf& startOf, std::optional<std::int32_t> creator = {});

// Whether another running Tavuno holds the stream `stream`: its target.object names one of
// that Tavuno's nodes, or, when it has no target, it is linked into one. Such a stream is never
// steered.
bool heldByRival(const PipeWireGraph::View& view, std::uint32_t stream, std::int32_t self,
                 const ProcessStartOf& startOf);

}  // namespace tavuno
