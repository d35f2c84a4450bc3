#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "devices/AudioDevice.h"

namespace tavuno {

enum class Direction { input, output };

class DefaultsStore;

// The preferred devices and the automatic-switching switch, as stored.
struct DevicePreferences {
  std::string inputUID;
  std::string outputUID;
  bool automatic = false;

  // "preferredUID" is an older key: read as the fallback of both UIDs, never
  // written.
  static DevicePreferences load(const DefaultsStore& defaults);
  void save(DefaultsStore& defaults) const;

  friend bool operator==(const DevicePreferences&, const DevicePreferences&) = default;
};

namespace DevicePolicy {
// The device automatic switching should make the default in `direction`:
// the preferred one while present, else the built-in one (never an HDMI or
// DisplayPort output).
std::optional<AudioDevice> target(const std::vector<AudioDevice>& devices,
                                  const std::optional<std::string>& preferred, bool automatic,
                                  Direction direction, std::optional<AudioObjectID> currentID);
}  // namespace DevicePolicy

// "uid:true:false|..." over the visible devices, sorted: any connection,
// removal or change of direction changes it.
std::string deviceTopology(const std::vector<AudioDevice>& devices);
std::set<std::string> deviceUIDs(const std::vector<AudioDevice>& devices);

}  // namespace tavuno
