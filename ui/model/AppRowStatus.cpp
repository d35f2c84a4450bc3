#include "ui/model/AppRowStatus.h"

#include "base/text/TavunoLanguage.h"

namespace tavuno {

AppRowStatus appRowStatus(const ServiceState& state, const ActiveApp& app) {
  const std::string& id = app.id;
  const bool automatic = state.controlPreferences.automatic;
  const bool desired = state.desiredApps.count(id) > 0;
  AppRowStatus status;
  if (app.inputActive) {
    status.state = AppRowState::inCall;
    status.caption = textKey("Chamada ativa: use o volume geral.");
    return status;
  }
  if (state.quarantinedApps.count(id)) {
    status.state = AppRowState::quarantined;
    status.caption = textKey("Reinicie o Tavuno para retomar o controle.");
    status.tone = CaptionTone::warning;
    return status;
  }
  if (!desired && !automatic) {
    status.state = AppRowState::offerControl;
    status.offerStart = true;
    return status;
  }
  if (desired && state.passthroughApps.count(id)) {
    status.state = AppRowState::passthrough;
    status.caption = textKey("Chamada: áudio direto");
    status.help = textKey("Durante chamadas, ajuste o volume geral.");
    return status;
  }
  if (state.startingApps.count(id)) {
    status.state = AppRowState::starting;
    status.caption = textKey("Iniciando áudio…");
  } else if (state.stalledStarts.count(id)) {
    status.state = AppRowState::stalled;
    status.caption = textKey("Aguardando o macOS iniciar o áudio…");
  } else if (state.controlledApps.count(id)) {
    status.state = AppRowState::controlled;
  } else {
    status.state = AppRowState::waiting;
    status.caption = textKey("Aguardando áudio ou saída");
    status.offerRetry = true;
  }
  status.offerStop = !automatic;
  return status;
}

}  // namespace tavuno
