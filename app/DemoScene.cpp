#include "app/DemoScene.h"

#include <chrono>
#include <cmath>
#include <numbers>

#include <nlohmann/json.hpp>

#include "automations/AutomationStores.h"
#include "base/SettingsKeys.h"
#include "base/text/TavunoLanguage.h"
#include "engine/AppMix.h"
#include "engine/taps/StreamFormat.h"
#include "profiles/ProfileStore.h"

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

// A name the demo's user gave in the language the demo starts in.
std::string demoName(const char* portuguese, const char* english) {
  return TavunoLanguage::current() == "pt" ? portuguese : english;
}

// The envelope of speech: syllables in phrases with pauses, 0...1.
double syllables(double t) {
  const bool phrase = std::sin(tau * 0.23 * t) > -0.35;
  return (phrase ? 1.0 : 0.05) * std::abs(std::sin(tau * 2.7 * t));
}

float speech(double t, std::uint32_t) {
  return static_cast<float>(0.75 * syllables(t)) * tone(t, 180.0);
}

// The peak a microphone hears of someone talking near it, over a quiet room.
float talking(double t) {
  return static_cast<float>(0.02 + 0.55 * syllables(t));
}

}  // namespace

DemoScene::DemoScene(MainQueue& main)
    : hal_(main), inputLevels_(main, &hal_), workers_(main), audio_(tap_) {
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
       .mute = SimControl{0.0f},
       .inputMasterVolume = SimControl{0.6f},
       .inputMute = SimControl{0.0f}},
      {.uid = "demo.interface",
       .name = "USB Audio Interface",
       .transport = transport::usb,
       .outputStreams = 1,
       .channelVolumes = {SimControl{0.8f}, SimControl{0.8f}}},
      // A name as long as real sound cards give their outputs.
      {.uid = "demo.hdmi",
       .name = "Family 17h/19h HD Audio Controller Digital Stereo (HDMI 2)",
       .transport = transport::hdmi,
       .outputStreams = 1,
       .masterVolume = SimControl{0.7f},
       .mute = SimControl{0.0f}},
      {.uid = "demo.mic",
       .name = "Built-in Microphone",
       .transport = transport::builtIn,
       .inputStreams = 1,
       .inputMasterVolume = SimControl{0.74f},
       .inputMute = SimControl{0.0f}},
      {.uid = "demo.usbmic",
       .name = "USB Microphone",
       .transport = transport::usb,
       .inputStreams = 1,
       .inputChannelVolumes = {SimControl{0.5f}, SimControl{0.5f}},
       .inputMute = SimControl{0.0f}},
  };
  AudioObjectID speakers = 0, mic = 0;
  for (const auto& spec : devices) {
    const AudioObjectID id = addDevice(spec);
    if (spec.uid == "demo.speakers") speakers = id;
    if (spec.uid == "demo.mic") mic = id;
    if (spec.inputStreams > 0) inputLevels_.setSignal(id, talking);
  }
  hal_.setDefaultOutput(speakers);
  hal_.setDefaultInput(mic);

  const DemoApp apps[] = {
      {4101, "org.tavuno.demo.Player", "Music Player", music},
      {4102, "org.tavuno.demo.Browser", "Web Browser", video},
      {4103, "org.tavuno.demo.Podcasts", "Podcasts and Audiobooks — Listening Queue", speech},
  };
  for (const auto& app : apps) {
    identity_.addRunning({.pid = app.pid, .bundleIdentifier = app.id, .localizedName = app.name});
    const AudioObjectID process =
        hal_.addProcess({.pid = app.pid, .runningOutput = true, .outputDevices = {speakers}});
    audio_.setSignal(process, app.signal);
  }
  // Running without playing: they can be picked for launch rules.
  identity_.addRunning(
      {.pid = 4104, .bundleIdentifier = "org.tavuno.demo.Calls", .localizedName = "Video Calls"});
  identity_.addRunning(
      {.pid = 4105, .bundleIdentifier = "org.tavuno.demo.Editor", .localizedName = "Text Editor"});
  identity_.setOwnPid(4000);
}

AudioObjectID DemoScene::addDevice(const SimDeviceSpec& spec) {
  const AudioObjectID id = hal_.addDevice(spec);
  SimTapPlatform::Device device{.uid = spec.uid, .nominalRate = DemoAudio::sampleRate};
  if (spec.outputStreams > 0) device.outputStreams = {floatFormat(DemoAudio::sampleRate, 2)};
  if (spec.inputStreams > 0) device.inputStreams = {floatFormat(DemoAudio::sampleRate, 1)};
  tap_.addDevice(device);
  return id;
}

ServicePorts DemoScene::ports(DefaultsStore& defaults, MainQueue& main) {
  return ServicePorts{.defaults = defaults,
                      .main = main,
                      .hal = hal_,
                      .workers = workers_,
                      .perAppAudioSupported = true,
                      .tap = &tap_,
                      .identity = &identity_,
                      .inputLevels = &inputLevels_};
}

void DemoScene::seedSettings(DefaultsStore& defaults) {
  const AppMixMap mixes{
      {"org.tavuno.demo.Player", AppMix(0.8, false)},
      {"org.tavuno.demo.Browser", AppMix(0.55, false)},
      {"org.tavuno.demo.Podcasts", AppMix(0.4, false, std::string("demo.interface"))},
  };
  const std::string json = appMixMapToJson(mixes).dump();
  defaults.set(key::appMix, Bytes(json.begin(), json.end()));
  defaults.set(key::preferredOutputUID, std::string("demo.headset"));
  defaults.set(key::automatic, false);
  if (defaults.contains(key::profiles)) return;

  // Profiles: the everyday setup (what the scene starts with), a studio on
  // the USB interface, meetings on the headset, and a TV that is unplugged.
  const Uuid everyday = Uuid::random(), studio = Uuid::random(), meetings = Uuid::random(),
             tv = Uuid::random();
  const std::string studioName = demoName("Estúdio", "Studio");
  const std::string meetingsName = demoName("Reuniões", "Meetings");
  const std::string tvName = demoName("TV da sala", "Living room TV");
  ProfileStore::save(
      {
          {everyday, tr("Perfil padrão"), "demo.mic", "demo.speakers", 0.62f, mixes, false},
          {studio, studioName, "demo.usbmic", "demo.interface", 0.8f,
           AppMixMap{{"org.tavuno.demo.Player", AppMix(1.0, false)},
                     {"org.tavuno.demo.Browser", AppMix(0.3, false)},
                     {"org.tavuno.demo.Podcasts", AppMix(0.5, true)}},
           std::nullopt},
          {meetings, meetingsName, "demo.headset", "demo.headset", 0.45f,
           AppMixMap{{"org.tavuno.demo.Player", AppMix(0.35, false)}}, false},
          {tv, tvName, "demo.mic", "demo.tv", 0.7f, AppMixMap{}, false},
      },
      defaults);

  AutomationStore(defaults).save({
      {Uuid::random(), "demo.headset", meetings, true},
      {Uuid::random(), "demo.interface", studio, true},
      {Uuid::random(), "demo.tv", tv, false, "Living Room TV"},
  });
  AppLaunchRuleStore(defaults).save({
      {Uuid::random(), "org.tavuno.demo.Calls", meetings, true},
      {Uuid::random(), "org.tavuno.demo.Player", studio, true},
  });
  ScheduledRuleStore(defaults).save({
      {Uuid::random(), 8, 30, meetings, true},
      {Uuid::random(), 22, 0, everyday, true},
  });

  const auto now = std::chrono::system_clock::now();
  using std::chrono::hours;
  using std::chrono::minutes;
  const char* missing =
      textKey("Os dispositivos do perfil não estão disponíveis. Nenhuma alteração foi aplicada.");
  AutomationHistoryStore(defaults).save({
      {Uuid::random(), now - minutes(12), meetingsName, AutomationTrigger::device, true},
      {Uuid::random(), now - hours(2) - minutes(5), studioName, AutomationTrigger::application,
       true},
      {Uuid::random(), now - hours(11), tvName, AutomationTrigger::schedule, false, tr(missing),
       std::string(missing), std::nullopt},
      {Uuid::random(), now - hours(26), tr("Perfil padrão"), AutomationTrigger::schedule, true},
      {Uuid::random(), now - hours(24 * 3 + 4), meetingsName, AutomationTrigger::device, true},
  });
}

}  // namespace tavuno
