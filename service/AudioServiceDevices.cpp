// Device listing, the system defaults and their writes.
#include "base/text/TavunoLanguage.h"
#include "hal/HalReaders.h"
#include "service/AudioService.h"

namespace tavuno {

namespace {

constexpr std::string_view aggregatePrefix = "com.tavuno.aggregate.";

bool hasStreams(Hal& hal, AudioObjectID device, std::uint32_t scope) {
  std::uint32_t size = 0;
  return hal.getPropertyDataSize(device, {selector::streams, scope, kElementMain}, size) ==
             status::noError &&
         size != 0;
}

}  // namespace

void AudioService::refreshDevices() {
  Hal& hal = ports_.hal;
  std::vector<AudioDevice> visible;
  for (AudioObjectID id :
       readObjectIDs(hal, kAudioObjectSystemObject, globalAddress(selector::devices))) {
    AudioDevice device;
    device.id = id;
    device.transport = readUInt32(hal, id, globalAddress(selector::transportType)).value_or(0);
    device.uid = readString(hal, id, globalAddress(selector::deviceUID));
    device.name = readString(hal, id, globalAddress(selector::name));
    device.input = hasStreams(hal, id, scope::input);
    device.output = hasStreams(hal, id, scope::output);
    device.builtIn = device.transport == transport::builtIn;

    if (device.uid.empty()) continue;
    if (device.uid.starts_with(aggregatePrefix)) continue;
    if (!device.input && !device.output) continue;
    if (!options_.deviceVisible(device)) continue;
    visible.push_back(std::move(device));
  }
  publish(ServiceField::devices, &ServiceState::devices, std::move(visible));
}

void AudioService::refreshDefaults() {
  Hal& hal = ports_.hal;
  publish(ServiceField::defaultInput, &ServiceState::defaultInput,
          readUInt32(hal, kAudioObjectSystemObject, globalAddress(selector::defaultInputDevice))
              .value_or(0));
  publish(ServiceField::defaultOutput, &ServiceState::defaultOutput,
          readUInt32(hal, kAudioObjectSystemObject, globalAddress(selector::defaultOutputDevice))
              .value_or(0));
}

std::uint32_t AudioService::outputChannelCount(AudioObjectID device) {
  return readOutputChannelCount(ports_.hal, device);
}

std::optional<std::vector<AudioObjectID>> AudioService::processOutputDevices(
    AudioObjectID process) {
  const PropertyAddress address{selector::processDevices, scope::output, kElementMain};
  std::uint32_t size = 0;
  if (ports_.hal.getPropertyDataSize(process, address, size) != status::noError)
    return std::nullopt;
  if (size == 0 || size % sizeof(AudioObjectID) != 0) return std::nullopt;
  std::vector<AudioObjectID> ids(size / sizeof(AudioObjectID));
  std::uint32_t read = size;
  if (ports_.hal.getPropertyData(process, address, read, ids.data()) != status::noError)
    return std::nullopt;
  if (read != size) return std::nullopt;
  return ids;
}

bool AudioService::writeDefault(AudioObjectID id, bool input) {
  const auto selector = input ? selector::defaultInputDevice : selector::defaultOutputDevice;
  OSStatus result = writeUInt32(ports_.hal, kAudioObjectSystemObject, globalAddress(selector), id);
  if (result != status::noError) {
    profileError(textKey("Não foi possível alterar o dispositivo (erro %d)."), result);
    refresh();
    return false;
  }
  refresh();
  saveActiveProfileSnapshot();
  return true;
}

bool AudioService::setDefault(AudioObjectID id, bool input) {
  return writeDefault(id, input);
}

}  // namespace tavuno
