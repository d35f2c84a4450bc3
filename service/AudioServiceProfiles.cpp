// Profiles: applying one, saving, renaming, deleting, and keeping the active
// one in step with the system.
#include <algorithm>

#include "automations/AutomationPolicy.h"
#include "automations/AutomationStores.h"
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

  if (!writeDefault(inputID, true)) return false;
  if (!writeDefault(outputID, false)) {
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
  for (const auto& [id, running] : tapSessions_) {
    const AppMix mix = settings(id);
    running->setGain(mix.volume(), mix.muted());
  }
  failedSignatures_.clear();
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

  auto profiles = state_.profiles;
  profiles[static_cast<std::size_t>(stored - state_.profiles.begin())] = next;
  ProfileStore::save(profiles, ports_.defaults);
  publish(ServiceField::profiles, &ServiceState::profiles, std::move(profiles));
}

void AudioService::saveProfile(const std::string& name) {
  const std::string clean = trimmedProfileName(name);
  if (clean.empty()) {
    profileError(textKey("Informe um nome para o perfil."));
    return;
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
  ProfileStore::save(profiles, ports_.defaults);
  publish(ServiceField::profiles, &ServiceState::profiles, std::move(profiles));
  setActiveProfile(profile.id);
}

void AudioService::updateProfile(const AudioProfile& profile, const std::string& name) {
  const std::string clean = trimmedProfileName(name);
  auto profiles = state_.profiles;
  auto found = std::find_if(profiles.begin(), profiles.end(),
                            [&](const AudioProfile& p) { return p.id == profile.id; });
  if (clean.empty() || found == profiles.end()) {
    profileError(textKey("Informe um nome para o perfil."));
    return;
  }
  found->name = clean;
  ProfileStore::save(profiles, ports_.defaults);
  publish(ServiceField::profiles, &ServiceState::profiles, std::move(profiles));
}

void AudioService::deleteProfile(const AudioProfile& profile) {
  if (state_.profiles.size() < 2) {
    profileError(textKey("Mantenha pelo menos um perfil."));
    return;
  }
  if (state_.activeProfileID == profile.id) {
    auto other = std::find_if(state_.profiles.begin(), state_.profiles.end(),
                              [&](const AudioProfile& p) { return p.id != profile.id; });
    if (other == state_.profiles.end() || !applyProfile(AudioProfile(*other))) return;
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
  ProfileStore::save(profiles, ports_.defaults);
  publish(ServiceField::profiles, &ServiceState::profiles, std::move(profiles));
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
