#include "ui/model/ViewTexts.h"

#include <algorithm>
#include <cmath>

#include "base/text/TavunoLanguage.h"
#include "ui/model/DeviceCaptions.h"

namespace tavuno {

const Section& section(int index) {
  static constexpr Section sections[sectionCount] = {
      {textKey("Mixer"), "sliders", textKey("Seu som em um só lugar.")},
      {textKey("Devices"), "headphones", textKey("Escolha sua entrada e saída.")},
      {textKey("Profiles"), "profile", textKey("Controle pensado para sua rotina.")},
      {textKey("Automations"), "bolt", textKey("Controle pensado para sua rotina.")},
      {textKey("Settings"), "gear", textKey("Preferências do Tavuno.")},
  };
  return sections[std::clamp(index, 0, sectionCount - 1)];
}

const char* muteActionTitle(bool muted) {
  return muted ? textKey("Reativar saída") : textKey("Silenciar saída");
}

std::string trayToolTip(const ServiceState& state) {
  if (state.muted) return tr("Tavuno — saída silenciada");
  if (!state.volumeAvailable) return "Tavuno";
  return trf("Tavuno — volume %@", percentText(state.volume));
}

float steppedVolume(float volume, int steps) {
  const double current = std::isfinite(volume) ? std::clamp<double>(volume, 0.0, 1.0) : 0.0;
  const double grid = std::round(current * 20.0) + steps;
  return static_cast<float>(std::clamp(grid, 0.0, 20.0) / 20.0);
}

}  // namespace tavuno
