#pragma once

#include <cstdint>
#include <string>

#include "hal/HalTypes.h"

namespace tavuno {

// One audio device as the user sees it. Profiles, preferences and rules keep
// the `uid`; the `id` is looked up afresh whenever it is needed.
struct AudioDevice {
  AudioObjectID id = 0;
  std::string uid;
  std::string name;
  bool input = false;
  bool output = false;
  bool builtIn = false;  // transport is built-in (an HDMI output never is)
  std::uint32_t transport = 0;

  friend bool operator==(const AudioDevice&, const AudioDevice&) = default;
};

// A Bluetooth device (classic or LE): its microphone is only usable in the
// headset's call profile.
inline bool isBluetooth(const AudioDevice& device) {
  return device.transport == transport::bluetooth || device.transport == transport::bluetoothLE;
}

}  // namespace tavuno
