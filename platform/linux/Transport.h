#pragma once

#include <cstdint>
#include <string>

#include "hal/HalTypes.h"
#include "platform/linux/ServerState.h"

namespace tavuno {

// What a device node looks like to the transport rules: its own properties
// and, when it belongs to one, its card's.
struct TransportFacts {
  std::string nodeName;
  std::string description;
  const Proplist* properties = nullptr;
  const ServerCard* card = nullptr;  // null: no card
};

// The transport of a sink or source, first rule that matches, each property
// looked up on the device and then on its card: Bluetooth, USB, network (0),
// HDMI/DisplayPort, built-in, virtual, else 0. HDMI is tested before built-in
// because it sits on the same PCI codec as the speakers.
std::uint32_t transportOf(const TransportFacts& facts);

}  // namespace tavuno
