#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tavuno {

// A server object's property list: key → UTF-8 text as the server sent it.
using Proplist = std::map<std::string, std::string>;

// The server's "no object" index.
constexpr std::uint32_t kNoIndex = 0xFFFFFFFFu;
// The server's volume for 100 % (one channel of a volume).
constexpr std::uint32_t kVolumeNorm = 0x10000u;

struct ServerInfo {
  std::string serverName;
  std::string defaultSinkName;
  std::string defaultSourceName;

  bool operator==(const ServerInfo&) const = default;
};

struct ServerSink {
  std::uint32_t index = kNoIndex;
  std::string name;
  std::string description;
  std::uint32_t card = kNoIndex;
  // One entry per channel of the channel map, on the server's scale.
  std::vector<std::uint32_t> volume;
  bool mute = false;
  std::uint32_t rate = 0;  // sample rate; 0 when the server did not say
  Proplist properties;
};

struct ServerSource {
  std::uint32_t index = kNoIndex;
  std::string name;
  std::string description;
  std::uint32_t card = kNoIndex;
  std::uint32_t monitorOfSink = kNoIndex;  // a monitor source when set
  std::uint32_t channels = 0;
  // As a sink's: one entry per channel of the channel map, server scale.
  std::vector<std::uint32_t> volume;
  bool mute = false;
  Proplist properties;
};

// A sink-input (playback stream) or source-output (recording stream).
struct ServerStream {
  std::uint32_t index = kNoIndex;
  std::uint32_t client = kNoIndex;
  std::uint32_t device = kNoIndex;  // the sink or source it is connected to
  bool corked = false;
  Proplist properties;
};

struct ServerClient {
  std::uint32_t index = kNoIndex;
  Proplist properties;
};

struct ServerCard {
  std::uint32_t index = kNoIndex;
  std::string name;
  std::string activeProfile;
  Proplist properties;
};

// Everything the mirror knows of the server, keyed by server index.
struct ServerState {
  ServerInfo info;
  std::map<std::uint32_t, ServerSink> sinks;
  std::map<std::uint32_t, ServerSource> sources;
  std::map<std::uint32_t, ServerStream> sinkInputs;
  std::map<std::uint32_t, ServerStream> sourceOutputs;
  std::map<std::uint32_t, ServerClient> clients;
  std::map<std::uint32_t, ServerCard> cards;
};

}  // namespace tavuno
