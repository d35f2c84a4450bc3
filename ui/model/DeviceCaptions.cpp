#include "ui/model/DeviceCaptions.h"

#include <algorithm>
#include <cmath>

#include "base/text/TavunoLanguage.h"

namespace tavuno {

const char* deviceCaption(const AudioDevice& device, bool isDefault) {
  if (isDefault) return textKey("Padrão");
  if (device.builtIn) return textKey("Interno");
  return textKey("Disponível");
}

std::string deviceAccessibleText(const AudioDevice& device, bool input, bool isDefault) {
  return trf("%@ %@, %@", device.name, input ? tr("Entrada") : tr("Saída"),
             isDefault ? tr("padrão") : tr("selecionar como padrão"));
}

std::optional<AudioDevice> useBothCandidate(const ServiceState& state) {
  if (state.preferredUID.empty()) return std::nullopt;
  for (const auto& device : state.devices) {
    if (device.uid != state.preferredUID) continue;
    if (device.input && device.output) return device;
    return std::nullopt;
  }
  return std::nullopt;
}

std::string percentText(float volume) {
  double value = std::isfinite(volume) ? volume : 0.0;
  value = std::clamp(value, 0.0, 1.0);
  return std::to_string(std::lround(value * 100.0)) + "%";
}

}  // namespace tavuno
