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

}  // namespace tavuno::AppRoute
