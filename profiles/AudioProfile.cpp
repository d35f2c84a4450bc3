#include "profiles/AudioProfile.h"

#include <cfloat>
#include <cmath>
#include <nlohmann/json.hpp>

#include "base/JsonFields.h"

namespace tavuno {

using nlohmann::json;

json AudioProfile::toJson() const {
  json value = {
      {"id", id.text()}, {"name", name}, {"inputUID", inputUID}, {"outputUID", outputUID}};
  if (volume) value["volume"] = *volume;
  if (appMix) value["appMix"] = appMixMapToJson(*appMix);
  if (outputMuted) value["outputMuted"] = *outputMuted;
  return value;
}

std::optional<AudioProfile> AudioProfile::fromJson(const json& value) {
  JsonFields fields(value);
  AudioProfile profile;
  profile.id = fields.uuid("id");
  profile.name = fields.string("name");
  profile.inputUID = fields.string("inputUID");
  profile.outputUID = fields.string("outputUID");
  if (auto volume = fields.optionalNumber("volume")) {
    // Converting a double outside the float range is undefined.
    if (std::fabs(*volume) > FLT_MAX) return std::nullopt;
    profile.volume = static_cast<float>(*volume);
  }
  if (const json* mixes = fields.optionalValue("appMix")) {
    profile.appMix = appMixMapFromJson(*mixes);
    if (!profile.appMix) return std::nullopt;
  }
  profile.outputMuted = fields.optionalBoolean("outputMuted");
  if (!fields.ok()) return std::nullopt;
  return profile;
}

std::set<Uuid> profileIDs(const std::vector<AudioProfile>& profiles) {
  std::set<Uuid> ids;
  for (const auto& profile : profiles)
    ids.insert(profile.id);
  return ids;
}

}  // namespace tavuno
