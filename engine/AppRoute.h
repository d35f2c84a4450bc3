#pragma once

#include <optional>
#include <string>
#include <vector>

#include "devices/AudioDevice.h"
#include "engine/AppMix.h"

namespace tavuno::AppRoute {

// The output device an application plays on: the first output device with
// `uid`, or, without a UID (absent or empty), the first output device whose
// id is `defaultID`. A chosen device that is not connected gives no route,
// never the default: the application stays uncontrolled until it returns.
std::optional<AudioDevice> output(const std::optional<std::string>& uid,
                                  const std::vector<AudioDevice>& devices, AudioObjectID defaultID);

// The output device of an application with mix `mix`: the device chosen in
// it (as above); without one, the application's own output (`ownUID`, where
// its streams were going by their own choice) unless the user chose the
// system default, and the default output when its own is not connected.
std::optional<AudioDevice> output(const AppMix& mix, const std::optional<std::string>& ownUID,
                                  const std::vector<AudioDevice>& devices, AudioObjectID defaultID);

// The UID an application's output picker shows as chosen: the chosen device,
// else its own output (unless the system default was chosen), else none (the
// system default).
std::optional<std::string> shownOutput(const AppMix& mix, const std::optional<std::string>& ownUID);

}  // namespace tavuno::AppRoute
