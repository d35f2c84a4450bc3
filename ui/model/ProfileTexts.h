#pragma once

#include <optional>
#include <string>
#include <vector>

#include "devices/AudioDevice.h"
#include "profiles/AudioProfile.h"
#include "ui/model/PickerEntries.h"

namespace tavuno {

// The detail lines of a saved profile, in the current language.
struct ProfileRowTexts {
  std::string output;  // the output's name, or "Dispositivo indisponível"
  std::string input;   // likewise for the input
  std::string volume;  // "Volume: 62%"
  std::string apps;    // "Aplicativos: 3"
  bool outputMissing = false;
  bool inputMissing = false;

  friend bool operator==(const ProfileRowTexts&, const ProfileRowTexts&) = default;
};

ProfileRowTexts profileRowTexts(const AudioProfile& profile,
                                const std::vector<AudioDevice>& devices);

// The profiles by name, each standing for its id's text, `chosen` selected.
// With a placeholder, "Selecione" comes first and is selected while nothing
// (or a profile that no longer exists) is chosen.
Picker profilePicker(const std::vector<AudioProfile>& profiles,
                     const std::optional<std::string>& chosen, bool placeholder);

// The profile whose id reads `idText`; nothing when none has it.
const AudioProfile* findProfile(const std::vector<AudioProfile>& profiles,
                                const std::string& idText);

}  // namespace tavuno
