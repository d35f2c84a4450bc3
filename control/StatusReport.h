#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "service/ServiceState.h"

namespace tavuno::control {

// The reports scripts read: `tavuno status --json`, `tavuno profile list
// --json` and the D-Bus methods Status and ListProfiles give the same
// objects. Their field names are documented in the README and never change
// meaning; new fields may be added.

// {"defaultOutput", "defaultInput": {"uid", "name"} or null,
//  "volume": 0-100 or null (no volume control), "muted": bool or null (no
//  mute control), "inputVolume", "inputMuted": the same for the default
//  input, "devices": [{"uid", "name", "input", "output"}],
//  "apps": [{"id", "name", "volume", "muted", "output": uid or null,
//  "state"}], "activeProfile": {"id", "name"} or null}
nlohmann::json statusReport(const ServiceState& state);

// The scalar fields of a status report, as the D-Bus properties give them
// (D-Bus has no null: a missing value is -1, false or empty).
struct StatusProperties {
  int volume = -1;       // 0-100; -1 when the default output has no volume control
  bool muted = false;    // false also when it has no mute control
  int inputVolume = -1;  // the same for the default input
  bool inputMuted = false;
  std::string defaultOutput;  // the device's UID; empty when there is none (or it is hidden)
  std::string defaultInput;
  std::string activeProfile;  // the profile's name; empty when none is active

  friend bool operator==(const StatusProperties&, const StatusProperties&) = default;
};

// Read from a statusReport() (anything else gives the missing values), so the
// properties always say what `status --json` says.
StatusProperties statusProperties(const nlohmann::json& status);

// {"profiles": [{"id", "name", "active"}]}, in the user's order.
nlohmann::json profilesReport(const ServiceState& state);

// A volume of 0...1 as the whole percent the commands take and show.
int volumePercent(float volume);

// The fields of the status report a change of the service's fields touches
// (bits of fieldBit()), in report order, each named once.
std::vector<std::string> changedParts(std::uint64_t fields);

}  // namespace tavuno::control
