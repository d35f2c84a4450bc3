#include "engine/AppRoute.h"

namespace tavuno::AppRoute {

std::optional<AudioDevice> output(const std::optional<std::string>& uid,
                                  const std::vector<AudioDevice>& devices,
                                  AudioObjectID defaultID) {
  // An empty UID is how a cleared choice may arrive; it must not match a
  // device whose UID could not be read.
  const bool chosen = uid && !uid->empty();
  for (const auto& device : devices) {
    if (!device.output) continue;
    if (chosen ? device.uid == *uid : device.id == defaultID) return device;
  }
  return std::nullopt;
}

std::optional<AudioDevice> output(const AppMix& mix, const std::optional<std::string>& ownUID,
                                  const std::vector<AudioDevice>& devices,
                                  AudioObjectID defaultID) {
  if (mix.outputUID() || mix.followsDefault() || !ownUID || ownUID->empty())
    return output(mix.outputUID(), devices, defaultID);
  if (auto own = output(ownUID, devices, defaultID)) return own;
  return output(std::nullopt, devices, defaultID);
}

std::optional<std::string> shownOutput(const AppMix& mix,
                                       const std::optional<std::string>& ownUID) {
  if (mix.outputUID()) return mix.outputUID();
  if (mix.followsDefault() || !ownUID || ownUID->empty()) return std::nullopt;
  return ownUID;
}

}  // namespace tavuno::AppRoute
