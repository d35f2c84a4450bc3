#pragma once

#include <optional>
#include <string>
#include <vector>

#include "devices/AudioDevice.h"

namespace tavuno {

// One entry of a device picker: the text shown (already in the current
// language) and the value it stands for.
struct PickerEntry {
  std::string label;
  std::optional<std::string> uid;  // the device UID; none for "follow the system" or "none"
  AudioObjectID id = 0;            // the device id when it is a present device
  bool incompatible = false;

  friend bool operator==(const PickerEntry&, const PickerEntry&) = default;
};

struct Picker {
  std::vector<PickerEntry> entries;
  int selected = -1;  // index into entries; -1 when nothing is selected

  friend bool operator==(const Picker&, const Picker&) = default;
};

// Whether an application's audio can be played on `device` by a session: an
// output without a physical input (a virtual device with an input is fine).
bool playableAppOutput(const AudioDevice& device);

// An application's output picker: "Padrão do sistema", then every known
// device ("%@ — incompatível" when a session cannot play on it), and
// "Saída desconectada" for a stored choice no present device has.
Picker appOutputPicker(const std::vector<AudioDevice>& devices,
                       const std::optional<std::string>& storedUID);

// The default-device picker of one side: its devices, the default selected.
Picker defaultDevicePicker(const std::vector<AudioDevice>& devices, bool input,
                           AudioObjectID defaultID);

// The preferred-device picker of one side: "Nenhum", its devices, and
// "Preferido desconectado" for a stored UID none of them has.
Picker preferredDevicePicker(const std::vector<AudioDevice>& devices, bool input,
                             const std::string& preferredUID);

}  // namespace tavuno
