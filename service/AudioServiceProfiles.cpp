// Profiles: applying one, saving, renaming, deleting, and keeping the active
// one in step with the system.
#include <algorithm>

#include "automations/AutomationPolicy.h"
#include "automations/AutomationStores.h"
#include "base/text/TavunoLanguage.h"
#include "engine/AppMixStore.h"
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

// Whether the output could take the profile's volume and mute, read without
// changing anything.
struct OutputSupport {
  bool volume = false;
  bool mute = false;
};

OutputSupport outputSupport(Hal& hal, AudioObjectID output) {
  auto volumeAt = [](std::uint32_t element) {
    return PropertyAddress{selector::volumeScalar, scope::output, element};
  };
  const std::vector<std::uint32_t> controls = outputVolumeControls(hal, output);
  OutputSupport support;
  support.volume = !controls.empty() && std::all_of(controls.begin(), controls.end(), [&](auto e) {
    return readFloat32(hal, output, volumeAt(e)).has_value();
  });
  support.mute = isSettableControl(hal, output, {selector::mute, scope::output, kElementMain});
  return support;
}

}  // namespace

std::string AudioService::uidOfVisible(AudioObjectID id) const {
  for (const auto& device : state_.devices)
    if (device.id == id) return device.uid;
  return {};
}

void AudioService::publishAppSettings(AppMixMap mixes) {
  publish(ServiceField::appSettings, &ServiceState::appSettings, std::move(mixes));
  saveAppSettings();
}

bool AudioService::applyProfile(const AudioProfile& profile) {
  if (std::none_of(state_.profiles.begin(), state_.profiles.end(),
                   [&](const AudioProfile& p) { return p.id == profile.id; }))
    return false;
  struct Applying {
    bool& flag;
    explicit Applying(bool& f) : flag(f) { flag = true; }
    ~Applying() { flag = false; }
  } applying(applyingProfile_);

  const AudioDevice* input = findDevice(state_.devices, profile.inputUID, Direction::input);
  const AudioDevice* output = findDevice(state_.devices, profile.outputUID, Direction::output);
  if (!input || !output) {
    profileError(textKey(
        "Os dispositivos do perfil não estão disponíveis. Nenhuma alteração foi aplicada."));
    return false;
  }
  const AudioObjectID inputID = input->id, outputID = output->id;
  const OutputSupport support = outputSupport(ports_.hal, outputID);
  if (profile.volume && !support.volume) {
    profileError(textKey(
        "A saída do perfil não suporta controle de volume. Nenhuma alteração foi aplicada."));
    return false;
  }
  if (profile.outputMuted && !support.mute) {
    profileError(
        textKey("A saída do perfil não suporta silêncio. Nenhuma alteração foi aplicada."));
    return false;
  }

  if (!setDefault(inputID, true)) return false;
  if (!setDefault(outputID, false)) {
    profileError(textKey("A entrada foi alterada, mas não foi possível alterar a saída."));
    return false;
  }
  if (profile.volume) {
    if (!state_.volumeAvailable) {
      profileError(
          textKey("Os dispositivos foram alterados, mas a saída não oferece controle de volume."));
      return false;
    }
    if (!setVolume(*profile.volume)) return false;
  }
  if (profile.outputMuted) {
    if (!state_.muteAvailable) {
      profileError(textKey(
          "Os dispositivos foram alterados, mas a saída não oferece controle de silêncio."));
      return false;
    }
    if (state_.muted != *profile.outputMuted && !setMute(*profile.outputMuted)) return false;
  }

  publishAppSettings(profile.appMix.value_or(AppMixMap{}));
  sessions_->applyGains();
  sessions_->forgetFailures();
  refresh();
  setActiveProfile(profile.id);
  return true;
}

void AudioService::saveActiveProfileSnapshot() {
  if (applyingProfile_ || !state_.activeProfileID) return;
  auto stored =
      std::find_if(state_.profiles.begin(), state_.profiles.end(),
                   [&](const AudioProfile& p) { return p.id == *state_.activeProfileID; });
  if (stored == state_.profiles.end()) return;

  AudioProfile next = *stored;
  if (auto uid = uidOfVisible(state_.defaultInput); !uid.empty()) next.inputUID = uid;
  if (auto uid = uidOfVisible(state_.defaultOutput); !uid.empty()) next.outputUID = uid;
  const bool outputChanged = next.outputUID != stored->outputUID;
  if (state_.volumeAvailable)
    next.volume = state_.volume;
  else if (outputChanged)
    next.volume.reset();
  if (state_.muteAvailable)
    next.outputMuted = state_.muted;
  else if (outputChanged)
    next.outputMuted.reset();
  next.appMix = state_.appSettings;
  if (next == *stored) return;

  // In place: this runs at every step of a drag, and the list may be long.
  *stored = std::move(next);
  observers_.notify(ServiceField::profiles);
  writeSoon(profilesWrite);
}

void AudioService::observeSystemAudio() {
  ObservedSystemAudio now{state_.defaultInput, state_.defaultOutput,
                          state_.volumeAvailable ? std::optional(state_.volume) : std::nullopt,
                          state_.muteAvailable ? std::optional(state_.muted) : std::nullopt};
  if (observedAudio_ && *observedAudio_ != now) saveActiveProfileSnapshot();
  observedAudio_ = now;
}

void AudioService::writeProfiles() {
  pendingWrites_ &= ~unsigned{profilesWrite};
  ProfileStore::save(state_.profiles, ports_.defaults);
}

void AudioService::writeSoon(PendingWrite what) {
  pendingWrites_ |= what;
  if (writeWindow_) return;  // the end of the window writes it
  writePending();
  openWriteWindow();
}

void AudioService::openWriteWindow() {
  // Changes until the window ends are written together then, and a new
  // window opens; a window that ends with nothing to write closes, and the
  // next change is written at once.
  std::weak_ptr<AudioService> weak = weak_from_this();
  writeWindow_ = ports_.main.postAfter(settingsWriteInterval, [weak] {
    auto self = weak.lock();
    if (!self) return;
    self->writeWindow_.reset();
    if (!self->pendingWrites_) return;
    self->writePending();
    self->openWriteWindow();
  });
}

void AudioService::writePending() {
  const unsigned pending = pendingWrites_;
  pendingWrites_ = 0;
  if (pending & appMixWrite) AppMixStore::save(state_.appSettings, ports_.defaults);
  if (pending & profilesWrite) ProfileStore::save(state_.profiles, ports_.defaults);
}

std::optional<ProfileOutcome> AudioService::refuseName(const std::string& clean) {
  if (clean.empty()) {
    profileError(textKey("Informe um nome para o perfil."));
    return ProfileOutcome::refused;
  }
  const auto length = profileNameLength(clean);
  if (!length) {
    profileError(textKey("O nome do perfil não é um texto válido."));
    return ProfileOutcome::overLimit;
  }
  if (*length > maxProfileNameLength) {
    profileError(textKey("Use no máximo %d caracteres no nome do perfil."),
                 static_cast<std::int32_t>(maxProfileNameLength));
    return ProfileOutcome::overLimit;
  }
  return std::nullopt;
}

ProfileOutcome AudioService::saveProfile(const std::string& name) {
  const std::string clean = trimmedProfileName(name);
  if (auto refused = refuseName(clean)) return *refused;
  if (state_.profiles.size() >= maxProfiles) {
    profileError(textKey("Exclua um perfil antes de salvar outro: o limite é de %d perfis."),
                 static_cast<std::int32_t>(maxProfiles));
    return ProfileOutcome::overLimit;
  }
  AudioProfile profile{Uuid::random(),
                       clean,
                       uidOfVisible(state_.defaultInput),
                       uidOfVisible(state_.defaultOutput),
                       state_.volumeAvailable ? std::optional(state_.volume) : std::nullopt,
                       state_.appSettings,
                       state_.muteAvailable ? std::optional(state_.muted) : std::nullopt};
  auto profiles = state_.profiles;
  profiles.push_back(profile);
  publish(ServiceField::profiles, &ServiceState::profiles, std::move(profiles));
  writeProfiles();
  setActiveProfile(profile.id);
  return ProfileOutcome::done;
}

ProfileOutcome AudioService::updateProfile(const AudioProfile& profile, const std::string& name) {
  const std::string clean = trimmedProfileName(name);
  auto profiles = state_.profiles;
  auto found = std::find_if(profiles.begin(), profiles.end(),
                            [&](const AudioProfile& p) { return p.id == profile.id; });
  if (found == profiles.end()) {
    profileError(textKey("Informe um nome para o perfil."));
    return ProfileOutcome::refused;
  }
  if (auto refused = refuseName(clean)) return *refused;
  found->name = clean;
  publish(ServiceField::profiles, &ServiceState::profiles, std::move(profiles));
  writeProfiles();
  return ProfileOutcome::done;
}

ProfileOutcome AudioService::deleteProfile(const AudioProfile& profile) {
  if (state_.profiles.size() < 2) {
    profileError(textKey("Mantenha pelo menos um perfil."));
    return ProfileOutcome::refused;
  }
  if (state_.activeProfileID == profile.id) {
    auto other = std::find_if(state_.profiles.begin(), state_.profiles.end(),
                              [&](const AudioProfile& p) { return p.id != profile.id; });
    // Applying says why it failed.
    if (other == state_.profiles.end() || !applyProfile(AudioProfile(*other)))
      return ProfileOutcome::refused;
  }
  auto profiles = state_.profiles;
  std::erase_if(profiles, [&](const AudioProfile& p) { return p.id == profile.id; });
  publish(ServiceField::rules, &ServiceState::rules,
          AutomationPolicy::withoutProfile(state_.rules, profile.id));
  publish(ServiceField::launchRules, &ServiceState::launchRules,
          AutomationPolicy::withoutProfile(state_.launchRules, profile.id));
  publish(ServiceField::scheduledRules, &ServiceState::scheduledRules,
          AutomationPolicy::withoutProfile(state_.scheduledRules, profile.id));
  saveRuleLists();
  publish(ServiceField::profiles, &ServiceState::profiles, std::move(profiles));
  writeProfiles();
  return ProfileOutcome::done;
}

void AudioService::saveRuleLists() {
  ScheduledRuleStore(ports_.defaults).save(state_.scheduledRules);
  AutomationStore(ports_.defaults).save(state_.rules);
  AppLaunchRuleStore(ports_.defaults).save(state_.launchRules);
}

void AudioService::setActiveProfile(const Uuid& id) {
  publish(ServiceField::activeProfileID, &ServiceState::activeProfileID, std::optional(id));
  ProfileStore::saveActiveID(id, ports_.defaults);
}

void AudioService::ensureDefaultProfile() {
  if (!state_.profiles.empty()) return;
  auto created = ProfileStore::createDefaultIfNeeded(
      tr("Perfil padrão"), uidOfVisible(state_.defaultInput), uidOfVisible(state_.defaultOutput),
      state_.volumeAvailable ? std::optional(state_.volume) : std::nullopt, state_.appSettings,
      state_.muteAvailable ? std::optional(state_.muted) : std::nullopt, ports_.defaults);
  if (!created) return;
  publish(ServiceField::profiles, &ServiceState::profiles, std::vector<AudioProfile>{*created});
  setActiveProfile(created->id);
}

}  // namespace tavuno
