#include "core/DevicePolicy.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "core/SettingsKeys.h"
#include "core/hal/HalTypes.h"
#include "core/ports/DefaultsStore.h"

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

namespace {

bool isBluetooth(const AudioDevice& device) {
  return device.transport == transport::bluetooth || device.transport == transport::bluetoothLE;
}

// The UID in lower case without its ":input" or ":output" suffix; nothing
// when it has neither.
std::optional<std::string> headsetIdentity(const std::string& uid) {
  std::string lower = uid;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  for (std::string_view suffix : {":input", ":output"}) {
    if (lower.ends_with(suffix)) return lower.substr(0, lower.size() - suffix.size());
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> HeadsetPair::inputUID(const AudioDevice& device,
                                                 const std::vector<AudioDevice>& devices) {
  if (!device.output || !isBluetooth(device)) return std::nullopt;
  if (device.input) return device.uid;
  auto identity = headsetIdentity(device.uid);
  if (!identity || identity->empty()) return std::nullopt;
  const AudioDevice* input = nullptr;
  int inputs = 0, outputs = 0;
  for (const auto& candidate : devices) {
    if (!isBluetooth(candidate) || headsetIdentity(candidate.uid) != identity) continue;
    if (candidate.input) {
      ++inputs;
      input = &candidate;
    }
    if (candidate.output) ++outputs;
  }
  if (inputs == 1 && outputs == 1) return input->uid;
  return std::nullopt;
}

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
    if (currentID && candidate->id == *currentID && candidate->builtIn) return *candidate;
  for (const auto* candidate : candidates)
    if (candidate->builtIn) return *candidate;
  return std::nullopt;
}

std::vector<float> VolumePolicy::scaled(const std::vector<float>& current, float target,
                                        const std::vector<float>& fallback) {
  target = std::isfinite(target) ? std::clamp(target, 0.0f, 1.0f) : 0.0f;
  auto loudest = [](const std::vector<float>& values) {
    float m = 0;
    for (float v : values)
      if (v > m) m = v;
    return m;
  };
  const std::vector<float>* shape = &current;
  if (!(loudest(current) > 0) && fallback.size() == current.size()) shape = &fallback;
  const float m = loudest(*shape);
  std::vector<float> result;
  result.reserve(current.size());
  if (m > 0) {
    for (float entry : *shape) {
      // A channel the hardware reported as NaN is written as silence, not NaN.
      float value = target * (entry / m);
      result.push_back(std::isfinite(value) ? std::clamp(value, 0.0f, 1.0f) : 0.0f);
    }
  } else {
    result.assign(current.size(), target);
  }
  return result;
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

}  // namespace tavuno
