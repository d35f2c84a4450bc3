#include "app/DemoScene.h"

#include <chrono>
#include <cmath>
#include <numbers>

#include <nlohmann/json.hpp>

#include "automations/AutomationStores.h"
#include "base/SettingsKeys.h"
#include "engine/AppMix.h"
#include "engine/sessions/StreamFormat.h"

namespace tavuno {

namespace {

constexpr double tau = 2 * std::numbers::pi;

struct DemoApp {
  std::int32_t pid;
  const char* id;
  const char* name;
  DemoAudio::Signal signal;
};

float tone(double t, double hz) {
  return static_cast<float>(std::sin(tau * hz * t));
}

// A beat every half second that decays, over a steady bed.
float music(double t, std::uint32_t channel) {
  const double beat = std::fmod(t, 0.5);
  const double envelope =
      0.30 + 0.58 * std::exp(-beat * 7.0) * (0.85 + 0.15 * std::sin(tau * 0.13 * t));
  return static_cast<float>(envelope) * tone(t, channel == 0 ? 220.0 : 221.5);
}

// A film's soundtrack: slow swells.
float video(double t, std::uint32_t) {
  const double swell = std::pow(std::sin(tau * 0.21 * t), 2.0);
  return static_cast<float>(0.16 + 0.42 * swell) * tone(t, 330.0);
}

// Speech: syllables in phrases with pauses.
float speech(double t, std::uint32_t) {
  const bool phrase = std::sin(tau * 0.23 * t) > -0.35;
  const double syllable = std::abs(std::sin(tau * 2.7 * t));
  return static_cast<float>((phrase ? 0.75 : 0.04) * syllable) * tone(t, 180.0);
}

}  // namespace

DemoScene::DemoScene(MainQueue& main) : hal_(main), workers_(main), audio_(tap_) {
  const SimDeviceSpec devices[] = {
      {.uid = "demo.speakers",
       .name = "Built-in Speakers",
       .transport = transport::builtIn,
       .outputStreams = 1,
       .masterVolume = SimControl{0.62f},
       .mute = SimControl{0.0f}},
      {.uid = "demo.headset",
       .name = "Studio Headset",
       .transport = transport::bluetooth,
       .inputStreams = 1,
       .outputStreams = 1,
       .masterVolume = SimControl{0.45f},
       .mute = SimControl{0.0f}},
      {.uid = "demo.interface",
       .name = "USB Audio Interface",
       .transport = transport::usb,
       .outputStreams = 1,
       .channelVolumes = {SimControl{0.8f}, SimControl{0.8f}}},
      {.uid = "demo.mic",
       .name = "Built-in Microphone",
       .transport = transport::builtIn,
       .inputStreams = 1},
      {.uid = "demo.usbmic",
       .name = "USB Microphone",
       .transport = transport::usb,
       .inputStreams = 1},
  };
  AudioObjectID speakers = 0, mic = 0;
  for (const auto& spec : devices) {
    const AudioObjectID id = hal_.addDevice(spec);
    if (spec.uid == "demo.speakers") speakers = id;
    if (spec.uid == "demo.mic") mic = id;
    // The taps' side of the same device, so a session can play on it.
    SimTapPlatform::Device device{.uid = spec.uid, .nominalRate = DemoAudio::sampleRate};
    if (spec.outputStreams > 0) device.outputStreams = {floatFormat(DemoAudio::sampleRate, 2)};
    if (spec.inputStreams > 0) device.inputStreams = {floatFormat(DemoAudio::sampleRate, 1)};
    tap_.addDevice(device);
  }
  hal_.setDefaultOutput(speakers);
  hal_.setDefaultInput(mic);

  const DemoApp apps[] = {
      {4101, "org.tavuno.demo.Player", "Music Player", music},
      {4102, "org.tavuno.demo.Browser", "Web Browser", video},
      {4103, "org.tavuno.demo.Podcasts", "Podcasts", speech},
  };
  for (const auto& app : apps) {
    identity_.addRunning({.pid = app.pid, .bundleIdentifier = app.id, .localizedName = app.name});
    const AudioObjectID process =
        hal_.addProcess({.pid = app.pid, .runningOutput = true, .outputDevices = {speakers}});
    audio_.setSignal(process, app.signal);
  }
  identity_.addRunning(
      {.pid = 4104, .bundleIdentifier = "org.tavuno.demo.Editor", .localizedName = "Text Editor"});
  identity_.setOwnPid(4000);
}

ServicePorts DemoScene::ports(DefaultsStore& defaults, MainQueue& main) {
  return ServicePorts{.defaults = defaults,
                      .main = main,
                      .hal = hal_,
                      .workers = workers_,
                      .perAppAudioSupported = true,
                      .tap = &tap_,
                      .identity = &identity_};
}

void DemoScene::seedSettings(DefaultsStore& defaults) {
  AppMixMap mixes{
      {"org.tavuno.demo.Player", AppMix(0.8, false)},
      {"org.tavuno.demo.Browser", AppMix(0.55, false)},
      {"org.tavuno.demo.Podcasts", AppMix(0.4, false, std::string("demo.interface"))},
  };
  const std::string json = appMixMapToJson(mixes).dump();
  defaults.set(key::appMix, Bytes(json.begin(), json.end()));
  defaults.set(key::preferredOutputUID, std::string("demo.headset"));
  defaults.set(key::automatic, false);

  const auto now = std::chrono::system_clock::now();
  using std::chrono::hours;
  using std::chrono::minutes;
  AutomationHistoryStore(defaults).save({
      {Uuid::random(), now - minutes(12), "Meetings", AutomationTrigger::device, true},
      {Uuid::random(), now - hours(9), "Studio", AutomationTrigger::schedule, true},
  });
}

void DemoScene::populate(AudioService& service) {
  if (service.state().profiles.size() <= 1) {
    const auto first = service.state().profiles.empty()
                           ? std::optional<Uuid>()
                           : std::optional<Uuid>(service.state().profiles.front().id);
    service.saveProfile("Studio");
    service.saveProfile("Meetings");
    if (first) service.setActiveProfile(*first);
  }
  const auto& profiles = service.state().profiles;
  if (profiles.size() >= 3 && service.state().rules.empty()) {
    service.addRule("demo.headset", profiles[2].id);
    service.addLaunchRule("org.tavuno.demo.Editor", profiles[1].id);
    service.addScheduledRule(22, 30, profiles[0].id);
  }
}

}  // namespace tavuno
