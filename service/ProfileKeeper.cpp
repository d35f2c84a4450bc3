#include "service/ProfileKeeper.h"

#include <algorithm>

#include "base/text/TavunoLanguage.h"
#include "hal/HalReaders.h"
#include "profiles/ProfileName.h"
#include "profiles/ProfileStore.h"
#include "service/AudioService.h"

namespace tavuno {

namespace {

const AudioDevice* findDevice(const std::vector<AudioDevice>& devices, const std::string& uid,
                              Direction direction) {
  for (const auto& device : devices)
    if (device.uid == uid && (direction == Direction::input ? device.input : device.output))
      return &device;
  return nullptr;
}

// Whether a device could take the profile's volume and mute on one side,
// read without changing anything.
struct Support {
  bool volume = false;
  bool mute = false;
};

Support support(Hal& hal, AudioObjectID device, std::uint32_t direction) {
  auto volumeAt = [direction](std::uint32_t element) {
    return PropertyAddress{selector::volumeScalar, direction, element};
  };
  const std::vector<std::uint32_t> controls = volumeControls(hal, device, direction);
  Support support;
  support.volume = !controls.empty() && std::all_of(controls.begin(), controls.end(), [&](auto e) {
    return readFloat32(hal, device, volumeAt(e)).has_value();
  });
  support.mute = isSettableControl(hal, device, {selector::mute, direction, kElementMain});
  return support;
}

}  // namespace

ProfileKeeper::ProfileKeeper(ProfileHost& host, const ServicePorts& ports)
    : host_(host), ports_(ports) {}

std::optional<Uuid> ProfileKeeper::load() {
  auto profiles = ProfileStore::load(ports_.defaults);
  const auto storedActiveID = ProfileStore::loadActiveID(ports_.defaults);
  host_.publish(ServiceField::activeProfileID, &ServiceState::activeProfileID,
                ProfileStore::resolveActiveID(profiles, storedActiveID));
  host_.publish(ServiceField::profiles, &ServiceState::profiles, std::move(profiles));
  return storedActiveID;
}

void ProfileKeeper::restoreActive(const std::optional<Uuid>& storedID) {
  const ServiceState& state = host_.state();
  if (!state.activeProfileID) return;
  if (state.activeProfileID == storedID) {
    const AudioProfile stored =
        *std::find_if(state.profiles.begin(), state.profiles.end(),
                      [&](const AudioProfile& p) { return p.id == *state.activeProfileID; });
    apply(stored);
  } else {
    setActive(*state.activeProfileID);
  }
}

AudioProfile ProfileKeeper::snapshot(std::string name) const {
  const ServiceState& state = host_.state();
  auto when = [](bool available, auto value) {
    return available ? std::optional(value) : std::nullopt;
  };
  return {.name = std::move(name),
          .inputUID = uidOfVisible(state.defaultInput),
          .outputUID = uidOfVisible(state.defaultOutput),
          .volume = when(state.volumeAvailable, state.volume),
          .appMix = state.appSettings,
          .outputMuted = when(state.muteAvailable, state.muted),
          .inputVolume = when(state.inputVolumeAvailable, state.inputVolume),
          .inputMuted = when(state.inputMuteAvailable, state.inputMuted)};
}

std::string ProfileKeeper::uidOfVisible(AudioObjectID id) const {
  for (const auto& device : host_.state().devices)
    if (device.id == id) return device.uid;
  return {};
}

bool ProfileKeeper::apply(const AudioProfile& profile) {
  const ServiceState& state = host_.state();
  if (std::none_of(state.profiles.begin(), state.profiles.end(),
                   [&](const AudioProfile& p) { return p.id == profile.id; }))
    return false;
  struct Applying {
    bool& flag;
    explicit Applying(bool& f) : flag(f) { flag = true; }
    ~Applying() { flag = false; }
  } applying(applying_);

  const AudioDevice* input = findDevice(state.devices, profile.inputUID, Direction::input);
  const AudioDevice* output = findDevice(state.devices, profile.outputUID, Direction::output);
  if (!input || !output) {
    host_.profileError(textKey(
        "Os dispositivos do perfil não estão disponíveis. Nenhuma alteração foi aplicada."));
    return false;
  }
  const AudioObjectID inputID = input->id, outputID = output->id;
  const Support outputs = support(ports_.hal, outputID, scope::output);
  if (profile.volume && !outputs.volume) {
    host_.profileError(textKey(
        "A saída do perfil não suporta controle de volume. Nenhuma alteração foi aplicada."));
    return false;
  }
  if (profile.outputMuted && !outputs.mute) {
    host_.profileError(
        textKey("A saída do perfil não suporta silêncio. Nenhuma alteração foi aplicada."));
    return false;
  }
  const Support inputs = support(ports_.hal, inputID, scope::input);
  if (profile.inputVolume && !inputs.volume) {
    host_.profileError(textKey(
        "A entrada do perfil não suporta controle de volume. Nenhuma alteração foi aplicada."));
    return false;
  }
  if (profile.inputMuted && !inputs.mute) {
    host_.profileError(
        textKey("A entrada do perfil não suporta silêncio. Nenhuma alteração foi aplicada."));
    return false;
  }

  if (!host_.setDefault(inputID, true)) return false;
  if (!host_.setDefault(outputID, false)) {
    host_.profileError(textKey("A entrada foi alterada, mas não foi possível alterar a saída."));
    return false;
  }
  if (profile.volume) {
    if (!state.volumeAvailable) {
      host_.profileError(
          textKey("Os dispositivos foram alterados, mas a saída não oferece controle de volume."));
      return false;
    }
    if (!host_.setVolume(*profile.volume)) return false;
  }
  if (profile.outputMuted) {
    if (!state.muteAvailable) {
      host_.profileError(textKey(
          "Os dispositivos foram alterados, mas a saída não oferece controle de silêncio."));
      return false;
    }
    if (state.muted != *profile.outputMuted && !host_.setMute(*profile.outputMuted)) return false;
  }
  // The input's after the output's.
  if (profile.inputVolume) {
    if (!state.inputVolumeAvailable) {
      host_.profileError(textKey(
          "Os dispositivos foram alterados, mas a entrada não oferece controle de volume."));
      return false;
    }
    if (!host_.setInputVolume(*profile.inputVolume)) return false;
  }
  if (profile.inputMuted) {
    if (!state.inputMuteAvailable) {
      host_.profileError(textKey(
          "Os dispositivos foram alterados, mas a entrada não oferece controle de silêncio."));
      return false;
    }
    if (state.inputMuted != *profile.inputMuted && !host_.setInputMute(*profile.inputMuted))
      return false;
  }

  host_.applyAppMix(profile.appMix.value_or(AppMixMap{}));
  host_.refresh();
  setActive(profile.id);
  return true;
}

void ProfileKeeper::followSystem() {
  const ServiceState& state = host_.state();
  if (applying_ || !state.activeProfileID) return;
  auto stored = std::find_if(state.profiles.begin(), state.profiles.end(),
                             [&](const AudioProfile& p) { return p.id == *state.activeProfileID; });
  if (stored == state.profiles.end()) return;

  AudioProfile next = *stored;
  if (auto uid = uidOfVisible(state.defaultInput); !uid.empty()) next.inputUID = uid;
  if (auto uid = uidOfVisible(state.defaultOutput); !uid.empty()) next.outputUID = uid;
  // A control the device lacks keeps the stored value, unless the device is another one now.
  auto follow = [](auto& field, bool available, auto value, bool deviceChanged) {
    if (available)
      field = value;
    else if (deviceChanged)
      field.reset();
  };
  const bool outputChanged = next.outputUID != stored->outputUID;
  const bool inputChanged = next.inputUID != stored->inputUID;
  follow(next.volume, state.volumeAvailable, state.volume, outputChanged);
  follow(next.outputMuted, state.muteAvailable, state.muted, outputChanged);
  follow(next.inputVolume, state.inputVolumeAvailable, state.inputVolume, inputChanged);
  follow(next.inputMuted, state.inputMuteAvailable, state.inputMuted, inputChanged);
  next.appMix = state.appSettings;
  if (next == *stored) return;

  // In place: this runs at every step of a drag, and the list may be long.
  const auto index = stored - state.profiles.begin();
  host_.change(ServiceField::profiles,
               [&](ServiceState& published) { published.profiles[index] = std::move(next); });
  host_.storeProfilesSoon();
}

void ProfileKeeper::observeSystemAudio() {
  const ServiceState& state = host_.state();
  const ObservedSystemAudio now = {
      state.defaultInput,
      state.defaultOutput,
      state.volumeAvailable ? std::optional(state.volume) : std::nullopt,
      state.muteAvailable ? std::optional(state.muted) : std::nullopt,
      state.inputVolumeAvailable ? std::optional(state.inputVolume) : std::nullopt,
      state.inputMuteAvailable ? std::optional(state.inputMuted) : std::nullopt};
  if (observed_ && *observed_ != now) followSystem();
  observed_ = now;
}

std::optional<ProfileOutcome> ProfileKeeper::refuseName(const std::string& clean) {
  if (clean.empty()) {
    host_.profileError(textKey("Informe um nome para o perfil."));
    return ProfileOutcome::refused;
  }
  const auto length = profileNameLength(clean);
  if (!length) {
    host_.profileError(textKey("O nome do perfil não é um texto válido."));
    return ProfileOutcome::overLimit;
  }
  if (*length > maxProfileNameLength) {
    host_.profileError(textKey("Use no máximo %d caracteres no nome do perfil."),
                       static_cast<std::int32_t>(maxProfileNameLength));
    return ProfileOutcome::overLimit;
  }
  return std::nullopt;
}

ProfileOutcome ProfileKeeper::save(const std::string& name) {
  const ServiceState& state = host_.state();
  const std::string clean = trimmedProfileName(name);
  if (auto refused = refuseName(clean)) return *refused;
  if (state.profiles.size() >= maxProfiles) {
    host_.profileError(textKey("Exclua um perfil antes de salvar outro: o limite é de %d perfis."),
                       static_cast<std::int32_t>(maxProfiles));
    return ProfileOutcome::overLimit;
  }
  AudioProfile profile = snapshot(clean);
  profile.id = Uuid::random();
  auto profiles = state.profiles;
  profiles.push_back(profile);
  host_.publish(ServiceField::profiles, &ServiceState::profiles, std::move(profiles));
  host_.storeProfiles();
  setActive(profile.id);
  return ProfileOutcome::done;
}

ProfileOutcome ProfileKeeper::rename(const AudioProfile& profile, const std::string& name) {
  const std::string clean = trimmedProfileName(name);
  auto profiles = host_.state().profiles;
  auto found = std::find_if(profiles.begin(), profiles.end(),
                            [&](const AudioProfile& p) { return p.id == profile.id; });
  if (found == profiles.end()) {
    host_.profileError(textKey("Informe um nome para o perfil."));
    return ProfileOutcome::refused;
  }
  if (auto refused = refuseName(clean)) return *refused;
  found->name = clean;
  host_.publish(ServiceField::profiles, &ServiceState::profiles, std::move(profiles));
  host_.storeProfiles();
  return ProfileOutcome::done;
}

ProfileOutcome ProfileKeeper::remove(const AudioProfile& profile) {
  const ServiceState& state = host_.state();
  if (state.profiles.size() < 2) {
    host_.profileError(textKey("Mantenha pelo menos um perfil."));
    return ProfileOutcome::refused;
  }
  if (state.activeProfileID == profile.id) {
    auto other = std::find_if(state.profiles.begin(), state.profiles.end(),
                              [&](const AudioProfile& p) { return p.id != profile.id; });
    // Applying says why it failed.
    if (other == state.profiles.end() || !apply(AudioProfile(*other)))
      return ProfileOutcome::refused;
  }
  auto profiles = state.profiles;
  std::erase_if(profiles, [&](const AudioProfile& p) { return p.id == profile.id; });
  host_.forgetRulesFor(profile.id);
  host_.publish(ServiceField::profiles, &ServiceState::profiles, std::move(profiles));
  host_.storeProfiles();
  return ProfileOutcome::done;
}

void ProfileKeeper::setActive(const Uuid& id) {
  host_.publish(ServiceField::activeProfileID, &ServiceState::activeProfileID, std::optional(id));
  ProfileStore::saveActiveID(id, ports_.defaults);
}

void ProfileKeeper::ensureDefault() {
  const ServiceState& state = host_.state();
  if (!state.profiles.empty()) return;
  auto created =
      ProfileStore::createDefaultIfNeeded(snapshot(tr("Perfil padrão")), ports_.defaults);
  if (!created) return;
  host_.publish(ServiceField::profiles, &ServiceState::profiles,
                std::vector<AudioProfile>{*created});
  setActive(created->id);
}

}  // namespace tavuno
