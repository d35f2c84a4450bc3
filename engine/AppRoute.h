#pragma once

#include <optional>
#include <string>
#include <vector>

#include "devices/AudioDevice.h"

namespace tavuno::AppRoute {

// The output device an application plays on: the first output device with
// `uid`, or, without a UID (absent or empty), the first output device whose
// id is `defaultID`. A chosen device that is not connected gives no route,
// never the default: the application stays uncontrolled until it returns.
std::optional<AudioDevice> output(const std::optional<std::string>& uid,
                                  const std::vector<AudioDevice>& devices, AudioObjectID defaultID);

}  // namespace tavuno::AppRoute
