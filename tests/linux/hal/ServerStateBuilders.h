#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "hal/Hal.h"
#include "platform/linux/ServerState.h"

namespace tavuno::test {

// Small builders for server states in the Linux back end's tests.
inline ServerSink sink(std::uint32_t index, std::string name, Proplist properties = {},
                       std::vector<std::uint32_t> volume = {kVolumeNorm, kVolumeNorm}) {
  ServerSink s;
  s.index = index;
  s.name = std::move(name);
  s.description = s.name + " description";
  s.volume = std::move(volume);
  s.properties = std::move(properties);
  return s;
}

inline ServerSource source(std::uint32_t index, std::string name, Proplist properties = {},
                           std::uint32_t monitorOf = kNoIndex) {
  ServerSource s;
  s.index = index;
  s.name = std::move(name);
  s.description = s.name + " description";
  s.channels = 2;
  s.volume = {kVolumeNorm, kVolumeNorm * 3 / 4};
  s.monitorOfSink = monitorOf;
  s.properties = std::move(properties);
  return s;
}

inline ServerStream stream(std::uint32_t index, std::uint32_t client, std::uint32_t device,
                           Proplist properties = {}, bool corked = false) {
  return ServerStream{index, client, device, corked, std::move(properties)};
}

inline void add(ServerState& state, ServerSink s) {
  state.sinks[s.index] = std::move(s);
}
inline void add(ServerState& state, ServerSource s) {
  state.sources[s.index] = std::move(s);
}

// Reads a fixed-size value or a list of ids straight from a Hal.
template <class T>
T read(Hal& hal, AudioObjectID object, const PropertyAddress& address) {
  T value{};
  std::uint32_t size = sizeof value;
  EXPECT_EQ(hal.getPropertyData(object, address, size, &value), 0);
  return value;
}

}  // namespace tavuno::test
