#include "hal/HalTypes.h"

#include <map>

namespace tavuno {

std::string fourCCText(std::uint32_t code) {
  std::string text(4, '?');
  for (int i = 0; i < 4; ++i) {
    char c = static_cast<char>(code >> (24 - 8 * i) & 0xFF);
    if (c >= 0x20 && c < 0x7F) text[static_cast<std::size_t>(i)] = c;
  }
  return text;
}

std::string selectorName(std::uint32_t code) {
  static const std::map<std::uint32_t, const char*> names = {
      {selector::devices, "kAudioHardwarePropertyDevices"},
      {selector::defaultInputDevice, "kAudioHardwarePropertyDefaultInputDevice"},
      {selector::defaultOutputDevice, "kAudioHardwarePropertyDefaultOutputDevice"},
      {selector::processObjectList, "kAudioHardwarePropertyProcessObjectList"},
      {selector::transportType, "kAudioDevicePropertyTransportType"},
      {selector::deviceUID, "kAudioDevicePropertyDeviceUID"},
      {selector::name, "kAudioObjectPropertyName"},
      {selector::streams, "kAudioDevicePropertyStreams"},
      {selector::streamConfiguration, "kAudioDevicePropertyStreamConfiguration"},
      {selector::volumeScalar, "kAudioDevicePropertyVolumeScalar"},
      {selector::mute, "kAudioDevicePropertyMute"},
      {selector::processIsRunningOutput, "kAudioProcessPropertyIsRunningOutput"},
      {selector::processIsRunningInput, "kAudioProcessPropertyIsRunningInput"},
      {selector::processPID, "kAudioProcessPropertyPID"},
      {selector::processDevices, "kAudioProcessPropertyDevices"},
  };
  auto it = names.find(code);
  return it != names.end() ? it->second : fourCCText(code);
}

}  // namespace tavuno
