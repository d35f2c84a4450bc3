#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "hal/HalTypes.h"
#include "platform/linux/ObjectIds.h"
#include "platform/linux/ProcessLookup.h"
#include "platform/linux/ServerState.h"

namespace tavuno {

struct PropertyKey {
  AudioObjectID object = 0;
  PropertyAddress address;
  friend auto operator<=>(const PropertyKey&, const PropertyKey&) = default;
  friend bool operator==(const PropertyKey&, const PropertyKey&) = default;
};

struct PropertyValue {
  std::vector<std::uint8_t> data;
  bool settable = false;
  friend bool operator==(const PropertyValue&, const PropertyValue&) = default;
};

// What a write to a device needs to reach the server.
struct DeviceFacts {
  bool output = false;     // a sink; else a source
  std::string serverName;  // the node name the server knows it by
  std::string uid;
  std::vector<std::uint32_t> volume;  // per channel, server scale
  std::uint32_t rate = 0;             // sample rate (sinks); 0 when unknown
};

// A server object behind a process object, for the identity lookups.
struct ProcessSource {
  enum class Kind { client, sinkInput, sourceOutput };
  Kind kind;
  std::uint32_t index;
  friend bool operator==(const ProcessSource&, const ProcessSource&) = default;
};

// The server's objects as the Hal's flat property table: (object, selector,
// scope, element) → bytes, with stable ids. Devices are the sinks and the
// sources that monitor nothing; monitors, Tavuno's own nodes (tavuno.owner.pid
// and .start naming a live process, the one that made the stream where the
// server says) and the server's placeholder sink are not devices. Process
// objects are the pids behind playback and recording streams. Immutable once
// built.
class PropertyTable {
 public:
  // The server names a stand-in sink when it has no other.
  static constexpr const char* placeholderSink = "auto_null";
  // Longest device name kept, in bytes.
  static constexpr std::size_t maxNameBytes = 1024;

  static PropertyTable build(const ServerState& state, ObjectIds& ids,
                             const ProcessLookup& processes);

  const PropertyValue* find(AudioObjectID object, const PropertyAddress& address) const;
  bool hasObject(AudioObjectID object) const { return objects_.count(object) > 0; }
  const DeviceFacts* device(AudioObjectID object) const;
  const std::map<AudioObjectID, DeviceFacts>& devices() const { return devices_; }
  const std::map<PropertyKey, PropertyValue>& properties() const { return properties_; }
  // The server objects whose pid is `pid`: its streams, then its clients.
  std::vector<ProcessSource> sourcesOfPid(std::int32_t pid) const;

  // The addresses whose value or presence differs between this table and
  // `newer`, in key order.
  std::vector<PropertyKey> diff(const PropertyTable& newer) const;

 private:
  void set(AudioObjectID object, PropertyAddress address, std::vector<std::uint8_t> data,
           bool settable = false);

  std::map<PropertyKey, PropertyValue> properties_;
  std::set<AudioObjectID> objects_;
  std::map<AudioObjectID, DeviceFacts> devices_;
  std::map<std::int32_t, std::vector<ProcessSource>> pidSources_;
};

// Bytes valid as UTF-8 (each invalid byte becomes U+FFFD), cut at a
// character boundary to at most `maxBytes`.
std::string sanitizedText(const std::string& text, std::size_t maxBytes);

// The pid behind a stream: its own application.process.id, else its
// client's, else the client's pipewire.sec.pid; 0 when none is a valid pid.
std::int32_t streamPid(const Proplist& stream, const Proplist* client);

}  // namespace tavuno
