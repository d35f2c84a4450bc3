#include "devices/DevicePreferences.h"

#include "base/SettingsKeys.h"
#include "base/ports/DefaultsStore.h"

namespace tavuno {

DevicePreferences DevicePreferences::load(const DefaultsStore& defaults) {
  std::string legacy = defaults.string(key::legacyPreferredUID).value_or("");
  DevicePreferences preferences;
  preferences.inputUID = defaults.string(key::preferredInputUID).value_or(legacy);
  preferences.outputUID = defaults.string(key::preferredOutputUID).value_or(legacy);
  preferences.automatic = defaults.boolean(key::automatic).value_or(false);
  return preferences;
}

void DevicePreferences::save(DefaultsStore& defaults) const {
  defaults.set(key::preferredInputUID, inputUID);
  defaults.set(key::preferredOutputUID, outputUID);
  defaults.set(key::automatic, automatic);
}

}  // namespace tavuno
