#pragma once

#include <string>

namespace tavuno {

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

}  // namespace tavuno
