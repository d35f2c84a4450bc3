#pragma once

#include <optional>
#include <string>
#include <vector>

#include "devices/AudioDevice.h"

namespace tavuno::HeadsetPair {

// The input UID that belongs to a Bluetooth headset output, when it can be
// told without ambiguity.
std::optional<std::string> inputUID(const AudioDevice& device,
                                    const std::vector<AudioDevice>& devices);

}  // namespace tavuno::HeadsetPair
