#pragma once

#include <cstddef>
#include <map>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>

namespace tavuno {

// One application's volume, mute and chosen output. The constructor keeps
// the invariant every reader relies on: the volume is finite and in 0...1,
// and an empty output UID is no chosen device. Without a chosen device the
// application plays where its own streams were going (its own output), or on
// the system default output when it has none or when the user chose the
// system default (followsDefault).
class AppMix {
 public:
  // The mix of an application without an entry: full volume, not muted,
  // system default output.
  AppMix() = default;
  // A non-finite volume becomes 1.0; any other is clamped to 0...1.
  AppMix(double volume, bool muted, std::optional<std::string> outputUID = std::nullopt,
         bool followsDefault = false);

  float volume() const { return volume_; }
  bool muted() const { return muted_; }
  const std::optional<std::string>& outputUID() const { return outputUID_; }
  // The user chose the system default output, over the application's own.
  bool followsDefault() const { return followsDefault_; }

  // The mixer's change: an absent or non-finite volume keeps the current
  // one, an absent mute keeps the current one; the output stays.
  AppMix adjusted(std::optional<float> volume, std::optional<bool> muted) const;
  // The same volume and mute on another output; absent or empty is the
  // user's choice of the system default output.
  AppMix routedTo(std::optional<std::string> outputUID) const;

  // {"volume": number, "muted": bool, "outputUID": string (only when set),
  // "followsDefault": true (only when set)}.
  nlohmann::json toJson() const;
  // Missing "volume" reads as 1.0, missing "muted" as false, missing
  // "outputUID" as none (null counts as missing); a value of another kind
  // makes the object unreadable. The constructor's rule then applies.
  static std::optional<AppMix> fromJson(const nlohmann::json& value);

  friend bool operator==(const AppMix&, const AppMix&) = default;

 private:
  float volume_ = 1.0f;
  bool muted_ = false;
  std::optional<std::string> outputUID_;
  bool followsDefault_ = false;
};

// Application id -> mix.
using AppMixMap = std::map<std::string, AppMix>;

// The mix of `id`, or the default mix when it has no entry.
AppMix mixFor(const AppMixMap& mixes, const std::string& id);

// A JSON object whose keys are application ids. An entry whose id or output
// UID is not UTF-8 cannot be written as JSON and is left out.
nlohmann::json appMixMapToJson(const AppMixMap& mixes);
// Nothing unless `value` is an object whose every member is a readable mix.
std::optional<AppMixMap> appMixMapFromJson(const nlohmann::json& value);
// Every member of `value` that is a readable mix; `unreadable` is set to the
// number of the others (1 when `value` is not an object).
AppMixMap readableAppMixes(const nlohmann::json& value, std::size_t& unreadable);

}  // namespace tavuno
