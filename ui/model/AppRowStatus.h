#pragma once

#include <string>

#include "engine/ActiveApp.h"
#include "service/ServiceState.h"

namespace tavuno {

// What an application's row in the mixer says about its control, first rule
// that matches wins.
enum class AppRowState {
  inCall,        // using a microphone: the volume is the system's
  quarantined,   // cleanup failed; only a restart of Tavuno helps
  offerControl,  // not controlled, manual control: "Ativar controle"
  passthrough,   // desired, but its audio goes straight out during a call
  starting,
  stalled,  // the audio server has not finished starting it
  controlled,
  waiting,  // wanted but not running: "Tentar novamente"
};

enum class CaptionTone { secondary, warning };

struct AppRowStatus {
  AppRowState state = AppRowState::controlled;
  const char* caption = nullptr;  // a catalogue key, or none
  const char* help = nullptr;     // a catalogue key for the caption's tooltip, or none
  CaptionTone tone = CaptionTone::secondary;
  bool offerStart = false;  // "Ativar controle" -> startApp
  bool offerRetry = false;  // "Tentar novamente" -> retryApp
  bool offerStop = false;   // "Desativar" -> stopApp

  friend bool operator==(const AppRowStatus&, const AppRowStatus&) = default;
};

AppRowStatus appRowStatus(const ServiceState& state, const ActiveApp& app);

}  // namespace tavuno
