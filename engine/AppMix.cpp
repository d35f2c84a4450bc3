#include "engine/AppMix.h"

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>

#include "base/JsonFields.h"

namespace tavuno {

using nlohmann::json;

namespace {

// Done in double so that a stored number beyond the float range clamps
// instead of overflowing the conversion.
float saneVolume(double volume) {
  if (!std::isfinite(volume)) return 1.0f;
  return static_cast<float>(std::clamp(volume, 0.0, 1.0));
}

std::optional<std::string> nonEmpty(std::optional<std::string> uid) {
  if (uid && uid->empty()) return std::nullopt;
  return uid;
}

}  // namespace

AppMix::AppMix(double volume, bool muted, std::optional<std::string> outputUID, bool followsDefault)
    : volume_(saneVolume(volume)),
      muted_(muted),
      outputUID_(nonEmpty(std::move(outputUID))),
      followsDefault_(followsDefault && !outputUID_) {}

AppMix AppMix::adjusted(std::optional<float> volume, std::optional<bool> muted) const {
  double newVolume = volume && std::isfinite(*volume) ? *volume : volume_;
  return AppMix(newVolume, muted.value_or(muted_), outputUID_, followsDefault_);
}

AppMix AppMix::routedTo(std::optional<std::string> outputUID) const {
  return AppMix(volume_, muted_, std::move(outputUID), true);
}

json AppMix::toJson() const {
  json value = {{"volume", volume_}, {"muted", muted_}};
  if (outputUID_) value["outputUID"] = *outputUID_;
  if (followsDefault_) value["followsDefault"] = true;
  return value;
}

std::optional<AppMix> AppMix::fromJson(const json& value) {
  JsonFields fields(value);
  // Read as any number, even one too large to be finite: the constructor
  // turns that into full volume.
  std::optional<double> volume;
  if (const json* stored = fields.optionalValue("volume")) {
    if (stored->is_number())
      volume = stored->get<double>();
    else
      fields.fail();
  }
  auto muted = fields.optionalBoolean("muted");
  auto outputUID = fields.optionalString("outputUID");
  auto followsDefault = fields.optionalBoolean("followsDefault");
  if (!fields.ok()) return std::nullopt;
  return AppMix(volume.value_or(1.0), muted.value_or(false), std::move(outputUID),
                followsDefault.value_or(false));
}

AppMix mixFor(const AppMixMap& mixes, const std::string& id) {
  auto it = mixes.find(id);
  return it == mixes.end() ? AppMix{} : it->second;
}

json appMixMapToJson(const AppMixMap& mixes) {
  json value = json::object();
  for (const auto& [id, mix] : mixes) {
    json entry = mix.toJson();
    // JSON holds only UTF-8. Ids and UIDs come from the system and may be
    // anything; one such entry must not keep the others (and the profiles
    // that carry the mix) from being saved.
    if (!dumpJson(json{{id, entry}})) continue;
    value[id] = std::move(entry);
  }
  return value;
}

std::optional<AppMixMap> appMixMapFromJson(const json& value) {
  std::size_t unreadable = 0;
  AppMixMap mixes = readableAppMixes(value, unreadable);
  if (unreadable > 0) return std::nullopt;
  return mixes;
}

AppMixMap readableAppMixes(const json& value, std::size_t& unreadable) {
  unreadable = 0;
  AppMixMap mixes;
  if (!value.is_object()) {
    unreadable = 1;
    return mixes;
  }
  for (auto it = value.begin(); it != value.end(); ++it) {
    if (auto mix = AppMix::fromJson(it.value()))
      mixes.emplace(it.key(), std::move(*mix));
    else
      ++unreadable;
  }
  return mixes;
}

}  // namespace tavuno
