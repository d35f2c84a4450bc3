#include "control/ControlCommands.h"

#include <algorithm>
#include <functional>
#include <variant>
#include <vector>

#include "base/text/TavunoLanguage.h"
#include "control/StatusReport.h"

namespace tavuno::control {

namespace {

ControlResult notRunning() {
  return ControlResult::failed(tr("O Tavuno não está em execução."));
}

// The fields and operations of one side's volume and mute, and its refusals.
struct VolumeAccess {
  float ServiceState::*volume;
  bool ServiceState::*volumeAvailable;
  bool ServiceState::*muted;
  bool ServiceState::*muteAvailable;
  bool (AudioService::*setVolume)(float);
  bool (AudioService::*setMute)(bool);
  const char* noVolume;
  const char* noMute;
};

const VolumeAccess& access(ControlCommands::Side side) {
  static const VolumeAccess output{
      &ServiceState::volume,
      &ServiceState::volumeAvailable,
      &ServiceState::muted,
      &ServiceState::muteAvailable,
      &AudioService::setVolume,
      &AudioService::setMute,
      textKey("O dispositivo atual não oferece controle de volume ao macOS."),
      textKey("A saída atual não oferece controle de silêncio."),
  };
  static const VolumeAccess input{
      &ServiceState::inputVolume,
      &ServiceState::inputVolumeAvailable,
      &ServiceState::inputMuted,
      &ServiceState::inputMuteAvailable,
      &AudioService::setInputVolume,
      &AudioService::setInputMute,
      textKey("O microfone atual não oferece controle de volume."),
      textKey("O microfone atual não oferece controle de silêncio."),
  };
  return side == ControlCommands::Side::input ? input : output;
}

// Notes the service's failures when an operation starts, to tell its own
// failure afterwards from an older one the error line may still show (or
// from what the error line shows by then: a refresh inside the operation may
// have put another message there).
class FailureWatch {
 public:
  explicit FailureWatch(const AudioService& service)
      : service_(service), before_(service.lastFailure().serial) {}

  // The message the operation left, or a plain one when it left none.
  std::string message() const {
    const auto& failure = service_.lastFailure();
    return failure.serial != before_ && !failure.message.empty()
               ? failure.message
               : tr("Não foi possível concluir o comando.");
  }
  ControlResult failed() const { return ControlResult::failed(message()); }
  // A profile operation's outcome: a limit it exceeded is the caller's input.
  ControlResult outcome(ProfileOutcome outcome, nlohmann::json value = nullptr) const {
    switch (outcome) {
      case ProfileOutcome::done:
        return ControlResult::done(std::move(value));
      case ProfileOutcome::overLimit:
        return ControlResult::badArgument(message());
      case ProfileOutcome::refused:
        break;
    }
    return failed();
  }

 private:
  const AudioService& service_;
  std::uint64_t before_;
};

// The one element `id` names, else the one whose name is exactly `id`.
// Nothing when none does; `ambiguous` when two share that name.
template <class T, class Id, class Name>
const T* findNamed(const std::vector<T>& items, const std::string& id, Id idOf, Name nameOf,
                   bool& ambiguous) {
  ambiguous = false;
  for (const auto& item : items)
    if (idOf(item) == id) return &item;
  const T* found = nullptr;
  for (const auto& item : items) {
    if (nameOf(item) != id) continue;
    if (found) {
      ambiguous = true;
      return nullptr;
    }
    found = &item;
  }
  return found;
}

ControlResult percentOutOfRange(int percent) {
  return ControlResult::badArgument(
      trf("Número inválido: %@ (use 0 a 100).", std::to_string(percent)));
}

}  // namespace

ControlResult ControlCommands::status() const {
  auto audio = service();
  if (!audio) return notRunning();
  return ControlResult::done(statusReport(audio->state()));
}

ControlResult ControlCommands::profiles() const {
  auto audio = service();
  if (!audio) return notRunning();
  return ControlResult::done(profilesReport(audio->state()));
}

ControlResult ControlCommands::volume(Side side) const {
  const VolumeAccess& on = access(side);
  auto audio = service();
  if (!audio) return notRunning();
  if (!(audio->state().*on.volumeAvailable)) return ControlResult::failed(tr(on.noVolume));
  return ControlResult::done(volumePercent(audio->state().*on.volume));
}

ControlResult ControlCommands::setVolume(int percent, Side side) {
  const VolumeAccess& on = access(side);
  if (percent < 0 || percent > 100) return percentOutOfRange(percent);
  auto audio = service();
  if (!audio) return notRunning();
  if (!(audio->state().*on.volumeAvailable)) return ControlResult::failed(tr(on.noVolume));
  const FailureWatch watch(*audio);
  if (!((*audio).*on.setVolume)(static_cast<float>(percent) / 100.0f)) return watch.failed();
  return ControlResult::done(volumePercent(audio->state().*on.volume));
}

ControlResult ControlCommands::adjustVolume(int delta, Side side) {
  const VolumeAccess& on = access(side);
  if (delta < -100 || delta > 100) return percentOutOfRange(delta);
  auto audio = service();
  if (!audio) return notRunning();
  if (!(audio->state().*on.volumeAvailable)) return ControlResult::failed(tr(on.noVolume));
  // From the percent the user sees, so +5 five times is +25.
  return setVolume(std::clamp(volumePercent(audio->state().*on.volume) + delta, 0, 100), side);
}

ControlResult ControlCommands::setMute(MuteChange change, Side side) {
  const VolumeAccess& on = access(side);
  auto audio = service();
  if (!audio) return notRunning();
  if (!(audio->state().*on.muteAvailable)) return ControlResult::failed(tr(on.noMute));
  const bool muted =
      change == MuteChange::toggle ? !(audio->state().*on.muted) : change == MuteChange::on;
  const FailureWatch watch(*audio);
  if (!((*audio).*on.setMute)(muted)) return watch.failed();
  return ControlResult::done(audio->state().*on.muted);
}

ControlResult ControlCommands::setDefaultDevice(const std::string& name, bool input) {
  auto audio = service();
  if (!audio) return notRunning();
  std::vector<AudioDevice> candidates;
  for (const auto& device : audio->state().devices)
    if (input ? device.input : device.output) candidates.push_back(device);
  bool ambiguous = false;
  const AudioDevice* device = findNamed(
      candidates, name, [](const AudioDevice& d) { return d.uid; },
      [](const AudioDevice& d) { return d.name; }, ambiguous);
  if (ambiguous)
    return ControlResult::failed(trf("Há mais de um dispositivo chamado %@; use o UID.", name));
  if (!device)
    return ControlResult::failed(input ? trf("Nenhum dispositivo de entrada chamado %@.", name)
                                       : trf("Nenhum dispositivo de saída chamado %@.", name));
  const FailureWatch watch(*audio);
  if (!audio->setDefault(device->id, input)) return watch.failed();
  return ControlResult::done();
}

ControlResult ControlCommands::setAutoSwitch(MuteChange change) {
  auto audio = service();
  if (!audio) return notRunning();
  const bool on =
      change == MuteChange::toggle ? !audio->state().automatic : change == MuteChange::on;
  audio->setAutomatic(on);
  return ControlResult::done(audio->state().automatic);
}

ControlResult ControlCommands::preferOutput(const std::string& name) {
  auto audio = service();
  if (!audio) return notRunning();
  std::vector<AudioDevice> outputs;
  for (const auto& device : audio->state().devices)
    if (device.output) outputs.push_back(device);
  bool ambiguous = false;
  const AudioDevice* device = findNamed(
      outputs, name, [](const AudioDevice& d) { return d.uid; },
      [](const AudioDevice& d) { return d.name; }, ambiguous);
  if (ambiguous)
    return ControlResult::failed(trf("Há mais de um dispositivo chamado %@; use o UID.", name));
  if (!device) return ControlResult::failed(trf("Nenhum dispositivo de saída chamado %@.", name));
  audio->setPreferredOutput(device->uid);
  return ControlResult::done();
}

ControlResult ControlCommands::run(const ControlRequest& request) {
  switch (request.command) {
    case Command::status:
      return status();
    case Command::mute:
      return setMute(request.mute, request.input ? Side::input : Side::output);
    case Command::volume:
      return volume(request.input ? Side::input : Side::output);
    case Command::setVolume:
      return setVolume(request.number, request.input ? Side::input : Side::output);
    case Command::adjustVolume:
      return adjustVolume(request.number, request.input ? Side::input : Side::output);
    case Command::output:
    case Command::input:
      return setDefaultDevice(request.target, request.command == Command::input);
    case Command::appVolume:
      return setAppVolume(request.target, request.number);
    case Command::appMute:
      return setAppMute(request.target, request.mute);
    case Command::appOutput:
      return setAppOutput(request.target, request.device);
    case Command::autoSwitch:
      return setAutoSwitch(request.mute);
    case Command::prefer:
      return preferOutput(request.target);
    case Command::profileList:
      return profiles();
    case Command::profileApply:
      return applyProfile(request.target);
    case Command::profileSave:
      return saveProfile(request.target);
    case Command::profileDelete:
      return deleteProfile(request.target);
    case Command::profileRename:
      return renameProfile(request.target, request.name);
    case Command::quit:
      break;
  }
  return ControlResult::badArgument(tr("Falta o comando."));
}

namespace {

// The playing application `name` names, or why there is none.
std::variant<ActiveApp, ControlResult> findApp(const AudioService& audio, const std::string& name) {
  bool ambiguous = false;
  const ActiveApp* app = findNamed(
      audio.state().activeApps, name, [](const ActiveApp& a) { return a.id; },
      [](const ActiveApp& a) { return a.name; }, ambiguous);
  if (ambiguous)
    return ControlResult::failed(trf("Há mais de um aplicativo chamado %@; use o id.", name));
  if (!app) return ControlResult::failed(trf("Nenhum aplicativo tocando áudio se chama %@.", name));
  // The mixer leaves an application in a call to the system's volume.
  if (app->inputActive) return ControlResult::failed(tr("Chamada ativa: use o volume geral."));
  return *app;
}

}  // namespace

ControlResult ControlCommands::setAppVolume(const std::string& name, int percent) {
  if (percent < 0 || percent > 100) return percentOutOfRange(percent);
  auto audio = service();
  if (!audio) return notRunning();
  auto found = findApp(*audio, name);
  if (auto* result = std::get_if<ControlResult>(&found)) return *result;
  const auto& app = std::get<ActiveApp>(found);
  audio->setAppMix(app, static_cast<float>(percent) / 100.0f, std::nullopt);
  return ControlResult::done(volumePercent(audio->settings(app.id).volume()));
}

ControlResult ControlCommands::setAppMute(const std::string& name, MuteChange change) {
  auto audio = service();
  if (!audio) return notRunning();
  auto found = findApp(*audio, name);
  if (auto* result = std::get_if<ControlResult>(&found)) return *result;
  const auto& app = std::get<ActiveApp>(found);
  const bool muted =
      change == MuteChange::toggle ? !audio->settings(app.id).muted() : change == MuteChange::on;
  audio->setAppMix(app, std::nullopt, muted);
  return ControlResult::done(audio->settings(app.id).muted());
}

ControlResult ControlCommands::setAppOutput(const std::string& name, const std::string& device) {
  auto audio = service();
  if (!audio) return notRunning();
  auto found = findApp(*audio, name);
  if (auto* result = std::get_if<ControlResult>(&found)) return *result;
  const ActiveApp app = std::get<ActiveApp>(found);
  std::optional<std::string> uid;
  if (!device.empty()) {
    std::vector<AudioDevice> outputs;
    for (const auto& candidate : audio->state().devices)
      if (candidate.output) outputs.push_back(candidate);
    bool ambiguous = false;
    const AudioDevice* output = findNamed(
        outputs, device, [](const AudioDevice& d) { return d.uid; },
        [](const AudioDevice& d) { return d.name; }, ambiguous);
    if (ambiguous)
      return ControlResult::failed(trf("Há mais de um dispositivo chamado %@; use o UID.", device));
    if (!output)
      return ControlResult::failed(trf("Nenhum dispositivo de saída chamado %@.", device));
    uid = output->uid;
  }
  audio->setAppOutput(app, uid);
  return ControlResult::done();
}

namespace {

// The profile `name` names (its id in any letter case, or its exact name),
// or why there is none.
std::variant<AudioProfile, ControlResult> findProfile(const AudioService& audio,
                                                      const std::string& name) {
  bool ambiguous = false;
  const AudioProfile* found = findNamed(
      audio.state().profiles, name, [](const AudioProfile& p) { return p.id.text(); },
      [](const AudioProfile& p) { return p.name; }, ambiguous);
  if (!found && !ambiguous)
    if (auto id = Uuid::parse(name))
      for (const auto& profile : audio.state().profiles)
        if (profile.id == *id) found = &profile;
  if (ambiguous)
    return ControlResult::failed(trf("Há mais de um perfil chamado %@; use o id.", name));
  if (!found) return ControlResult::failed(trf("Nenhum perfil se chama %@.", name));
  return *found;  // a copy: the operations rewrite the list
}

}  // namespace

ControlResult ControlCommands::onProfile(
    const std::string& name,
    const std::function<ControlResult(AudioService&, const AudioProfile&)>& operation) {
  auto audio = service();
  if (!audio) return notRunning();
  auto found = findProfile(*audio, name);
  if (auto* result = std::get_if<ControlResult>(&found)) return *result;
  return operation(*audio, std::get<AudioProfile>(found));
}

ControlResult ControlCommands::applyProfile(const std::string& name) {
  return onProfile(name, [](AudioService& audio, const AudioProfile& profile) {
    const FailureWatch watch(audio);
    if (!audio.applyProfile(profile)) return watch.failed();
    return ControlResult::done();
  });
}

ControlResult ControlCommands::saveProfile(const std::string& name) {
  auto audio = service();
  if (!audio) return notRunning();
  const FailureWatch watch(*audio);
  const ProfileOutcome outcome = audio->saveProfile(name);
  if (outcome != ProfileOutcome::done) return watch.outcome(outcome);
  const AudioProfile& saved = audio->state().profiles.back();
  return ControlResult::done({{"id", saved.id.text()}, {"name", saved.name}});
}

ControlResult ControlCommands::deleteProfile(const std::string& name) {
  return onProfile(name, [](AudioService& audio, const AudioProfile& profile) {
    const FailureWatch watch(audio);
    return watch.outcome(audio.deleteProfile(profile));
  });
}

ControlResult ControlCommands::renameProfile(const std::string& name, const std::string& newName) {
  return onProfile(name, [&newName](AudioService& audio, const AudioProfile& profile) {
    const FailureWatch watch(audio);
    return watch.outcome(audio.updateProfile(profile, newName));
  });
}

}  // namespace tavuno::control
