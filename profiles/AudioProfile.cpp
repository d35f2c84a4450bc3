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
  if (inputVolume) value["inputVolume"] = *inputVolume;
  if (inputMuted) value["inputMuted"] = *inputMuted;
  return value;
}

std::optional<AudioProfile> AudioProfile::fromJson(const json& value) {
  JsonFields fields(value);
  AudioProfile profile;
  profile.id = fields.uuid("id");
  profile.name = fields.string("name");
  profile.inputUID = fields.string("inputUID");
  profile.outputUID = fields.string("outputUID");
  // Converting a double outside the float range is undefined.
  auto level = [&](const char* key, std::optional<float>& into) {
    auto number = fields.optionalNumber(key);
    if (!number) return true;
    if (std::fabs(*number) > FLT_MAX) return false;
    into = static_cast<float>(*number);
    return true;
  };
  if (!level("volume", profile.volume) || !level("inputVolume", profile.inputVolume))
    return std::nullopt;
  if (const json* mixes = fields.optionalValue("appMix")) {
    profile.appMix = appMixMapFromJson(*mixes);
    if (!profile.appMix) return std::nullopt;
  }
  profile.outputMuted = fields.optionalBoolean("outputMuted");
  profile.inputMuted = fields.optionalBoolean("inputMuted");
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
