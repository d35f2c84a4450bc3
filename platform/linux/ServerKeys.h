#pragma once

// The names of the properties and metadata keys Tavuno reads and writes on
// the audio server's objects, spelled once. The server's own are PipeWire's
// (pipewire-pulse hands them on as PulseAudio properties); Tavuno's marks say
// which nodes, sinks and modules a running Tavuno made.
namespace tavuno::serverkey {

// Tavuno's marks on what it makes: the pid of the Tavuno that made it and
// that process's start time, so a reused pid does not count.
inline constexpr const char* ownerPid = "tavuno.owner.pid";
inline constexpr const char* ownerStart = "tavuno.owner.start";
// Every node, sink and module name Tavuno gives starts so; a session's tap
// (a PipeWire node or a PulseAudio null sink) with the longer one, followed by
// the pid of the Tavuno that made it and a number.
inline constexpr const char* namePrefix = "tavuno.";
inline constexpr const char* tapNamePrefix = "tavuno.tap.";

// The metadata keys that send a stream to a node: the current one and the
// one older session managers wrote.
inline constexpr const char* targetObject = "target.object";
inline constexpr const char* targetNode = "target.node";

// Who a client or stream is: the pid it says it has, and the one the server
// saw on its socket.
inline constexpr const char* processId = "application.process.id";
inline constexpr const char* securityPid = "pipewire.sec.pid";

}  // namespace tavuno::serverkey
