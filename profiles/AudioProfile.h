#pragma once

#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "base/ports/Uuid.h"
#include "engine/AppMix.h"

namespace tavuno {

// A saved audio setup: the default devices, the output volume and mute, the
// per-app mix and the input's volume and mute. Automations refer to a profile
// by its id.
struct AudioProfile {
  Uuid id;
  // Trimmed and not empty when made by the program; need not be unique.
  std::string name;
  // UIDs of the default input and output devices; empty = none.
  std::string inputUID;
  std::string outputUID;
  // Absent when the output had no volume control.
  std::optional<float> volume;
  std::optional<AppMixMap> appMix;
  // Absent when the output had no mute control.
  std::optional<bool> outputMuted;
  // The same for the input; absent in profiles saved before they were kept,
  // which leave the input's level alone.
  std::optional<float> inputVolume;
  std::optional<bool> inputMuted;

  // Absent fields are left out. The id is written upper-case.
  nlohmann::json toJson() const;
  // "id", "name", "inputUID" and "outputUID" are required; the others may
  // be missing or null. Nothing when any field is missing or of the wrong
  // kind, or the volume does not fit a float.
  static std::optional<AudioProfile> fromJson(const nlohmann::json& value);

  friend bool operator==(const AudioProfile&, const AudioProfile&) = default;
};

std::set<Uuid> profileIDs(const std::vector<AudioProfile>& profiles);

}  // namespace tavuno
