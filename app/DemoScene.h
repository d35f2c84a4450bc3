#pragma once

#include <memory>

#include "app/DemoAudio.h"
#include "app/MainThreadSerialQueue.h"
#include "platform/sim/SimHal.h"
#include "platform/sim/SimIdentity.h"
#include "platform/sim/SimInputLevels.h"
#include "platform/sim/SimTapPlatform.h"
#include "service/AudioService.h"

namespace tavuno {

// The demo: Tavuno on the simulated platform with a lived-in scene, for
// trying it without audio hardware, for screenshots and for tests. Six
// devices (built-in speakers and microphone, a Bluetooth headset, a USB
// interface with per-channel volume, an HDMI output, a USB microphone),
// three applications playing synthetic signals through real sessions over
// the simulated taps, so the meters move (the microphones hear someone
// talking), two more running without audio,
// four profiles (one on an unplugged TV), rules of every kind and some
// history.
class DemoScene {
 public:
  explicit DemoScene(MainQueue& main);

  // What the service runs on. `defaults` should be a store of its own (the
  // demo never touches the user's settings).
  ServicePorts ports(DefaultsStore& defaults, MainQueue& main);
  // Written before the service is made: the app mixes, the profiles, the
  // rules and the history (once: a store that has profiles keeps them).
  static void seedSettings(DefaultsStore& defaults);

  DemoAudio& audio() { return audio_; }
  SimHal& hal() { return hal_; }
  SimInputLevels& inputLevels() { return inputLevels_; }
  // Plugs in a device: the server's side and the taps' side, so a session
  // can play on it.
  AudioObjectID addDevice(const SimDeviceSpec& spec);

 private:
  SimHal hal_;
  SimTapPlatform tap_;
  SimIdentity identity_;
  SimInputLevels inputLevels_;
  MainThreadSerialQueueFactory workers_;
  DemoAudio audio_;
};

}  // namespace tavuno
