#include "control/StatusReport.h"

#include <algorithm>
#include <cmath>

#include "engine/AppRoute.h"
#include "ui/model/AppRowStatus.h"
#include "ui/model/ViewTexts.h"

namespace tavuno::control {

namespace {

using nlohmann::json;

const AudioDevice* visibleDevice(const ServiceState& state, AudioObjectID id) {
  if (id == 0) return nullptr;
  for (const auto& device : state.devices)
    if (device.id == id) return &device;
  return nullptr;
}

json deviceRef(const AudioDevice* device) {
  if (!device) return nullptr;
  return {{"uid", device->uid}, {"name", device->name}};
}

// Stable names of the mixer's row states.
const char* stateName(AppRowState state) {
  switch (state) {
    case AppRowState::inCall:
      return "inCall";
    case AppRowState::quarantined:
      return "quarantined";
    case AppRowState::offerControl:
      return "uncontrolled";
    case AppRowState::passthrough:
      return "passthrough";
    case AppRowState::starting:
      return "starting";
    case AppRowState::stalled:
      return "stalled";
    case AppRowState::controlled:
      return "controlled";
    case AppRowState::waiting:
      return "waiting";
  }
  return "waiting";
}

}  // namespace

int volumePercent(float volume) {
  if (!std::isfinite(volume)) return 0;
  return static_cast<int>(std::lround(std::clamp(volume, 0.0f, 1.0f) * 100.0f));
}

json statusReport(const ServiceState& state) {
  json devices = json::array();
  for (const auto& device : state.devices)
    devices.push_back({{"uid", device.uid},
                       {"name", device.name},
                       {"input", device.input},
                       {"output", device.output}});
  json apps = json::array();
  for (const auto& app : state.activeApps) {
    const AppMix mix = mixFor(state.appSettings, app.id);
    apps.push_back({{"id", app.id},
                    {"name", app.name},
                    {"volume", volumePercent(mix.volume())},
                    {"muted", mix.muted()},
                    {"output",
                     [&] {
                       const auto shown = AppRoute::shownOutput(mix, app.ownOutputUID);
                       return shown ? json(*shown) : json(nullptr);
                     }()},
                    {"state", stateName(appRowStatus(state, app).state)}});
  }
  json active = nullptr;
  if (state.activeProfileID)
    for (const auto& profile : state.profiles)
      if (profile.id == *state.activeProfileID)
        active = {{"id", profile.id.text()}, {"name", profile.name}};
  return {{"defaultOutput", deviceRef(visibleDevice(state, state.defaultOutput))},
          {"defaultInput", deviceRef(visibleDevice(state, state.defaultInput))},
          {"volume", state.volumeAvailable ? json(volumePercent(state.volume)) : json(nullptr)},
          {"muted", state.muteAvailable ? json(state.muted) : json(nullptr)},
          {"inputVolume",
           state.inputVolumeAvailable ? json(volumePercent(state.inputVolume)) : json(nullptr)},
          {"inputMuted", state.inputMuteAvailable ? json(state.inputMuted) : json(nullptr)},
          {"devices", std::move(devices)},
          {"apps", std::move(apps)},
          {"activeProfile", std::move(active)}};
}

StatusProperties statusProperties(const json& status) {
  StatusProperties properties;
  if (!status.is_object()) return properties;
  // The string under `field` of the object under `key`; empty when either is missing.
  auto text = [&status](const char* key, const char* field) {
    const auto object = status.find(key);
    if (object == status.end() || !object->is_object()) return std::string();
    const auto value = object->find(field);
    return value != object->end() && value->is_string() ? value->get<std::string>() : std::string();
  };
  auto percent = [&status](const char* key, int& into) {
    const auto value = status.find(key);
    if (value != status.end() && value->is_number_integer())
      into = std::clamp(value->get<int>(), 0, 100);
  };
  auto flag = [&status](const char* key, bool& into) {
    const auto value = status.find(key);
    if (value != status.end() && value->is_boolean()) into = value->get<bool>();
  };
  percent("volume", properties.volume);
  flag("muted", properties.muted);
  percent("inputVolume", properties.inputVolume);
  flag("inputMuted", properties.inputMuted);
  properties.defaultOutput = text("defaultOutput", "uid");
  properties.defaultInput = text("defaultInput", "uid");
  properties.activeProfile = text("activeProfile", "name");
  return properties;
}

json profilesReport(const ServiceState& state) {
  json profiles = json::array();
  for (const auto& profile : state.profiles)
    profiles.push_back({{"id", profile.id.text()},
                        {"name", profile.name},
                        {"active", state.activeProfileID == profile.id}});
  return {{"profiles", std::move(profiles)}};
}

std::vector<std::string> changedParts(std::uint64_t fields) {
  auto any = [fields](std::initializer_list<ServiceField> list) {
    return std::any_of(list.begin(), list.end(),
                       [fields](ServiceField f) { return (fields & fieldBit(f)) != 0; });
  };
  using F = ServiceField;
  std::vector<std::string> parts;
  if (any({F::defaultOutput})) parts.push_back("defaultOutput");
  if (any({F::defaultInput})) parts.push_back("defaultInput");
  if (any({F::volume, F::volumeAvailable})) parts.push_back("volume");
  if (any({F::muted, F::muteAvailable})) parts.push_back("muted");
  if (any({F::inputVolume, F::inputVolumeAvailable})) parts.push_back("inputVolume");
  if (any({F::inputMuted, F::inputMuteAvailable})) parts.push_back("inputMuted");
  if (any({F::devices})) parts.push_back("devices");
  if (any({F::activeApps, F::appSettings, F::controlledApps, F::passthroughApps, F::startingApps,
           F::stalledStarts, F::quarantinedApps, F::desiredApps, F::controlPreferences}))
    parts.push_back("apps");
  if (any({F::activeProfileID, F::profiles})) parts.push_back("activeProfile");
  if (any({F::profiles})) parts.push_back("profiles");
  return parts;
}

}  // namespace tavuno::control
