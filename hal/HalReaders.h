#pragma once

#include <optional>
#include <string>
#include <vector>

#include "hal/Hal.h"

namespace tavuno {

// Typed reads over the Hal port. A failed read gives nothing (or an empty
// list, or 0); callers treat that as the value being absent.
std::optional<std::uint32_t> readUInt32(Hal& hal, AudioObjectID object,
                                        const PropertyAddress& address);
std::optional<float> readFloat32(Hal& hal, AudioObjectID object, const PropertyAddress& address);
// Empty when the read fails or the property holds no text.
std::string readString(Hal& hal, AudioObjectID object, const PropertyAddress& address);
// A list of object ids: size, then data. A failed size query, size 0 or a
// failed read gives an empty list.
std::vector<AudioObjectID> readObjectIDs(Hal& hal, AudioObjectID object,
                                         const PropertyAddress& address);
// Channels summed over the stream configuration's buffers in `direction`
// (scope::output or scope::input), capped at 256; 0 when it cannot be read or
// is too small to hold one buffer.
std::uint32_t readChannelCount(Hal& hal, AudioObjectID device, std::uint32_t direction);
inline std::uint32_t readOutputChannelCount(Hal& hal, AudioObjectID device) {
  return readChannelCount(hal, device, scope::output);
}
// A property counts as a control only when it exists and is settable.
bool isSettableControl(Hal& hal, AudioObjectID object, const PropertyAddress& address);

// The volume controls of a device in `direction`: the main element when it
// is a settable control, else the settable channels 1...channel count.
std::vector<std::uint32_t> volumeControls(Hal& hal, AudioObjectID device, std::uint32_t direction);
inline std::vector<std::uint32_t> outputVolumeControls(Hal& hal, AudioObjectID device) {
  return volumeControls(hal, device, scope::output);
}

OSStatus writeUInt32(Hal& hal, AudioObjectID object, const PropertyAddress& address,
                     std::uint32_t value);
OSStatus writeFloat32(Hal& hal, AudioObjectID object, const PropertyAddress& address, float value);

inline PropertyAddress globalAddress(std::uint32_t selector) {
  return {selector, scope::global, kElementMain};
}

}  // namespace tavuno
