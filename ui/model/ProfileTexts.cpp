#include "ui/model/ProfileTexts.h"

#include "base/text/TavunoLanguage.h"
#include "ui/model/DeviceCaptions.h"

namespace tavuno {

namespace {

// The name of the first device with `uid`; nothing for an empty UID or one
// no present device has.
std::optional<std::string> deviceName(const std::vector<AudioDevice>& devices,
                                      const std::string& uid) {
  if (uid.empty()) return std::nullopt;
  for (const auto& device : devices)
    if (device.uid == uid) return device.name;
  return std::nullopt;
}

}  // namespace

ProfileRowTexts profileRowTexts(const AudioProfile& profile,
                                const std::vector<AudioDevice>& devices) {
  ProfileRowTexts texts;
  const auto output = deviceName(devices, profile.outputUID);
  const auto input = deviceName(devices, profile.inputUID);
  texts.outputMissing = !output;
  texts.inputMissing = !input;
  texts.output = output ? *output : tr("Dispositivo indisponível");
  texts.input = input ? *input : tr("Dispositivo indisponível");
  // A profile saved from an output without volume control has no volume.
  texts.volume =
      tr("Volume: ") + (profile.volume ? percentText(*profile.volume) : tr("Indisponível"));
  texts.apps = tr("Aplicativos: ") + std::to_string(profile.appMix ? profile.appMix->size() : 0);
  return texts;
}

Picker profilePicker(const std::vector<AudioProfile>& profiles,
                     const std::optional<std::string>& chosen, bool placeholder) {
  Picker picker;
  if (placeholder) picker.entries.push_back({tr("Selecione"), std::nullopt});
  for (const auto& profile : profiles) {
    const std::string id = profile.id.text();
    if (chosen && *chosen == id && picker.selected < 0)
      picker.selected = static_cast<int>(picker.entries.size());
    picker.entries.push_back({profile.name, id});
  }
  if (placeholder && picker.selected < 0) picker.selected = 0;
  return picker;
}

const AudioProfile* findProfile(const std::vector<AudioProfile>& profiles,
                                const std::string& idText) {
  for (const auto& profile : profiles)
    if (profile.id.text() == idText) return &profile;
  return nullptr;
}

}  // namespace tavuno
