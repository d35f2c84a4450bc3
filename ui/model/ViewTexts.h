#pragma once

#include <cstdint>
#include <string>

#include "service/ServiceState.h"

namespace tavuno {

// The fields of the service a change notice names, as one bit each.
constexpr std::uint64_t fieldBit(ServiceField field) {
  return std::uint64_t{1} << static_cast<unsigned>(field);
}

// The sections of the main window, in sidebar order.
struct Section {
  const char* key;       // shown through the catalogue
  const char* icon;      // the name of the symbol drawn beside it
  const char* subtitle;  // a catalogue key
};
inline constexpr int sectionCount = 5;
const Section& section(int index);

// The title of the output mute action: "Reativar saída" while muted,
// "Silenciar saída" otherwise (catalogue keys).
const char* muteActionTitle(bool muted);

// The tray icon's tooltip, in the current language.
std::string trayToolTip(const ServiceState& state);

// The output volume after `steps` notches of a scroll wheel, 5 % each, kept
// on the 5 % grid and within 0...1.
float steppedVolume(float volume, int steps);

}  // namespace tavuno
