#pragma once

#include <optional>
#include <string>

#include "devices/AudioDevice.h"
#include "service/ServiceState.h"

namespace tavuno {

// The caption of a row in a device list: "Padrão", else "Interno", else
// "Disponível" (catalogue keys).
const char* deviceCaption(const AudioDevice& device, bool isDefault);

// What a screen reader says for a row of a device list, in the current
// language: name, side, and whether it is the default.
std::string deviceAccessibleText(const AudioDevice& device, bool input, bool isDefault);

// The device "Usar dispositivo preferido como entrada e saída" applies to:
// the first device with the preferred output's UID, when it is both an input
// and an output.
std::optional<AudioDevice> useBothCandidate(const ServiceState& state);

// A volume 0...1 as a whole percentage ("37%"); out-of-range values clamp.
std::string percentText(float volume);

}  // namespace tavuno
