#include "devices/DevicePolicy.h"

#include <algorithm>

#include "base/SettingsKeys.h"
#include "base/ports/DefaultsStore.h"

namespace tavuno {

namespace {

// `builtIn` follows the transport, so an HDMI output is never marked
// built-in; the transport is checked here too so that no device, however it
// was made, sends the fallback to a screen's speakers.
bool isFallback(const AudioDevice& device) {
  return device.builtIn && device.transport != transport::hdmi;
}

}  // namespace

std::optional<AudioDevice> DevicePolicy::target(const std::vector<AudioDevice>& devices,
                                                const std::optional<std::string>& preferred,
                                                bool automatic, Direction direction,
                                                std::optional<AudioObjectID> currentID) {
  if (!automatic || !preferred || preferred->empty()) return std::nullopt;
  std::vector<const AudioDevice*> candidates;
  for (const auto& device : devices)
    if (direction == Direction::input ? device.input : device.output) candidates.push_back(&device);
  for (const auto* candidate : candidates)
    if (candidate->uid == *preferred) return *candidate;
  for (const auto* candidate : candidates)
    if (currentID && candidate->id == *currentID && isFallback(*candidate)) return *candidate;
  for (const auto* candidate : candidates)
    if (isFallback(*candidate)) return *candidate;
  return std::nullopt;
}

std::string deviceTopology(const std::vector<AudioDevice>& devices) {
  std::vector<std::string> entries;
  entries.reserve(devices.size());
  for (const auto& device : devices)
    entries.push_back(device.uid + ":" + (device.input ? "true" : "false") + ":" +
                      (device.output ? "true" : "false"));
  std::sort(entries.begin(), entries.end());
  std::string topology;
  for (const auto& entry : entries) {
    if (!topology.empty()) topology += '|';
    topology += entry;
  }
  return topology;
}

std::set<std::string> deviceUIDs(const std::vector<AudioDevice>& devices) {
  std::set<std::string> uids;
  for (const auto& device : devices)
    uids.insert(device.uid);
  return uids;
}

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
