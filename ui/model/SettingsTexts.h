#pragma once

#include <string>

#include "system/ShortcutId.h"
#include "system/ShortcutKey.h"
#include "ui/model/PickerEntries.h"

namespace tavuno {

// The global shortcut as the desktop writes it: "Ctrl+Alt+Super+M".
std::string shortcutKeyLabel(ShortcutKey key);
// "Combinação global": every letter, `current` selected; each entry stands
// for the key's raw value.
Picker shortcutKeyPicker(ShortcutKey current);

// A global shortcut's texts on the settings screen (catalogue keys): its
// switch, the caption under it, and its key picker's accessible name.
struct ShortcutTexts {
  const char* title;
  const char* caption;
  const char* keyName;
};
ShortcutTexts shortcutTexts(ShortcutId id);

// "Idioma": "Idioma do sistema", "Português", "English", standing for
// "system", "pt" and "en"; `preference` selected (anything else: the system).
Picker languagePicker(const std::string& preference);

// The caption under "Controlar automaticamente aplicativos com áudio"
// (a catalogue key).
const char* automaticControlCaption(bool automatic);

// The first-run guide.
inline constexpr int onboardingStepCount = 6;
// The title of a step (a catalogue key); out-of-range steps clamp.
const char* onboardingTitle(int step);
// The header above the title: "TAVUNO  /  1 DE 6".
std::string onboardingCounter(int step);
// The last step's advice: the tray icon, or the applications menu on a
// desktop without a tray (a catalogue key).
const char* onboardingClosingText(bool trayAvailable);

}  // namespace tavuno
