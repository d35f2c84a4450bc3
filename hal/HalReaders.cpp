#include "hal/HalReaders.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace tavuno {

namespace {

template <class T>
std::optional<T> readScalar(Hal& hal, AudioObjectID object, const PropertyAddress& address) {
  T value{};
  std::uint32_t size = sizeof(T);
  if (hal.getPropertyData(object, address, size, &value) != status::noError) return std::nullopt;
  if (size != sizeof(T)) return std::nullopt;
  return value;
}

}  // namespace

std::optional<std::uint32_t> readUInt32(Hal& hal, AudioObjectID object,
                                        const PropertyAddress& address) {
  return readScalar<std::uint32_t>(hal, object, address);
}

std::optional<float> readFloat32(Hal& hal, AudioObjectID object, const PropertyAddress& address) {
  return readScalar<float>(hal, object, address);
}

std::string readString(Hal& hal, AudioObjectID object, const PropertyAddress& address) {
  std::uint32_t size = 0;
  if (hal.getPropertyDataSize(object, address, size) != status::noError || size == 0) return {};
  std::string text(size, '\0');
  if (hal.getPropertyData(object, address, size, text.data()) != status::noError) return {};
  text.resize(std::min<std::size_t>(size, text.size()));
  // A C string from the platform may carry its terminator.
  if (auto nul = text.find('\0'); nul != std::string::npos) text.resize(nul);
  return text;
}

std::vector<AudioObjectID> readObjectIDs(Hal& hal, AudioObjectID object,
                                         const PropertyAddress& address) {
  std::uint32_t size = 0;
  if (hal.getPropertyDataSize(object, address, size) != status::noError || size == 0) return {};
  std::vector<AudioObjectID> ids(size / sizeof(AudioObjectID));
  std::uint32_t bytes = static_cast<std::uint32_t>(ids.size() * sizeof(AudioObjectID));
  if (hal.getPropertyData(object, address, bytes, ids.data()) != status::noError) return {};
  ids.resize(std::min<std::size_t>(ids.size(), bytes / sizeof(AudioObjectID)));
  return ids;
}

std::uint32_t readChannelCount(Hal& hal, AudioObjectID device, std::uint32_t direction) {
  const PropertyAddress address{selector::streamConfiguration, direction, kElementMain};
  std::uint32_t size = 0;
  if (hal.getPropertyDataSize(device, address, size) != status::noError) return 0;
  if (size < audioBufferListSize(1)) return 0;
  // Aligned storage for the variable-length list.
  const std::size_t slots = (size + sizeof(AudioBuffer) - 1) / sizeof(AudioBuffer);
  auto storage = std::make_unique<AudioBuffer[]>(slots);
  std::uint32_t bytes = size;
  if (hal.getPropertyData(device, address, bytes, storage.get()) != status::noError) return 0;
  const auto* raw = reinterpret_cast<const unsigned char*>(storage.get());
  std::uint32_t declared = 0;
  std::memcpy(&declared, raw + offsetof(AudioBufferList, mNumberBuffers), sizeof declared);
  // Trust no count beyond what the returned bytes can hold.
  const std::uint32_t fits =
      bytes < audioBufferListSize(0)
          ? 0
          : (std::min(bytes, size) - audioBufferListSize(0)) / std::uint32_t(sizeof(AudioBuffer));
  const std::uint32_t buffers = std::min(declared, fits);
  std::uint64_t channels = 0;
  for (std::uint32_t i = 0; i < buffers; ++i) {
    std::uint32_t count = 0;
    std::memcpy(&count, raw + audioBufferListSize(i) + offsetof(AudioBuffer, mNumberChannels),
                sizeof count);
    channels += count;
  }
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(channels, 256));
}

bool isSettableControl(Hal& hal, AudioObjectID object, const PropertyAddress& address) {
  if (!hal.hasProperty(object, address)) return false;
  bool settable = false;
  return hal.isPropertySettable(object, address, settable) == status::noError && settable;
}

std::vector<std::uint32_t> volumeControls(Hal& hal, AudioObjectID device, std::uint32_t direction) {
  auto volumeAt = [direction](std::uint32_t element) {
    return PropertyAddress{selector::volumeScalar, direction, element};
  };
  if (isSettableControl(hal, device, volumeAt(kElementMain))) return {kElementMain};
  std::vector<std::uint32_t> channels;
  const std::uint32_t count = readChannelCount(hal, device, direction);
  for (std::uint32_t channel = 1; channel <= count; ++channel)
    if (isSettableControl(hal, device, volumeAt(channel))) channels.push_back(channel);
  return channels;
}

OSStatus writeUInt32(Hal& hal, AudioObjectID object, const PropertyAddress& address,
                     std::uint32_t value) {
  return hal.setPropertyData(object, address, sizeof value, &value);
}

OSStatus writeFloat32(Hal& hal, AudioObjectID object, const PropertyAddress& address, float value) {
  return hal.setPropertyData(object, address, sizeof value, &value);
}

}  // namespace tavuno
