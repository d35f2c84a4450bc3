#include "ui/model/PickerEntries.h"

#include <algorithm>

#include "base/text/TavunoLanguage.h"
#include "hal/HalTypes.h"

namespace tavuno {

namespace {

bool onSide(const AudioDevice& device, bool input) {
  return input ? device.input : device.output;
}

}  // namespace

bool playableAppOutput(const AudioDevice& device) {
  if (!device.output) return false;
  return !device.input || device.transport == transport::virtualDevice;
}

Picker appOutputPicker(const std::vector<AudioDevice>& devices,
                       const std::optional<std::string>& storedUID) {
  Picker picker;
  picker.entries.push_back({tr("Padrão do sistema"), std::nullopt});
  const bool followsSystem = !storedUID || storedUID->empty();
  if (followsSystem) picker.selected = 0;
  for (const auto& device : devices) {
    // Inputs have no place here: an app's audio cannot be sent to a microphone.
    if (!device.output) continue;
    PickerEntry entry{device.name, device.uid, device.id, !playableAppOutput(device)};
    if (entry.incompatible) entry.label = trf("%@ — incompatível", device.name);
    if (!followsSystem && picker.selected < 0 && device.uid == *storedUID)
      picker.selected = static_cast<int>(picker.entries.size());
    picker.entries.push_back(std::move(entry));
  }
  if (picker.selected < 0) {
    picker.selected = static_cast<int>(picker.entries.size());
    picker.entries.push_back({tr("Saída desconectada"), storedUID});
  }
  return picker;
}

Picker defaultDevicePicker(const std::vector<AudioDevice>& devices, bool input,
                           AudioObjectID defaultID) {
  Picker picker;
  for (const auto& device : devices) {
    if (!onSide(device, input)) continue;
    if (device.id == defaultID && picker.selected < 0)
      picker.selected = static_cast<int>(picker.entries.size());
    picker.entries.push_back({device.name, device.uid, device.id});
  }
  return picker;
}

Picker preferredDevicePicker(const std::vector<AudioDevice>& devices, bool input,
                             const std::string& preferredUID) {
  Picker picker;
  picker.entries.push_back({tr("Nenhum"), std::string()});
  if (preferredUID.empty()) picker.selected = 0;
  for (const auto& device : devices) {
    if (!onSide(device, input)) continue;
    if (!preferredUID.empty() && device.uid == preferredUID && picker.selected < 0)
      picker.selected = static_cast<int>(picker.entries.size());
    picker.entries.push_back({device.name, device.uid, device.id});
  }
  if (picker.selected < 0) {
    picker.selected = static_cast<int>(picker.entries.size());
    picker.entries.push_back({tr("Preferido desconectado"), preferredUID});
  }
  return picker;
}

}  // namespace tavuno
