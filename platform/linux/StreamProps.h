#pragma once

#include <cstddef>
#include <optional>
#include <vector>

struct spa_pod;

namespace tavuno {

// What a stream node's Props say about its volume and mute. Any client of the server owns the
// streams it creates and writes their Props, so nothing in them is trusted: the channel
// volumes are taken only from an array of plain floats, at most `maxStreamChannels` of them,
// each finite and within [0, loudestStreamVolume] (linear); anything else leaves them
// unknown, as if the stream had not said.
struct StreamProps {
  std::vector<float> volumes;  // empty when not reported or not usable
  std::optional<bool> muted;   // nothing when not reported
};

inline constexpr std::size_t maxStreamChannels = 64;
inline constexpr float loudestStreamVolume = 16.0f;  // +24 dB, far above any real stream

// Reads a Props object. `param` must lie in memory of at least its declared size, as the
// protocol guarantees for a param event; everything inside it is checked against that size.
StreamProps parseStreamProps(const spa_pod* param);

}  // namespace tavuno
