#pragma once

#include <memory>

#include "platform/linux/PropertyTable.h"
#include "platform/linux/ServerState.h"

namespace tavuno {

// One published view of the audio server: what it holds and the Hal's table
// built from it. Immutable; shared by the Hal, identity and the sessions.
struct Snapshot {
  ServerState state;
  PropertyTable table;
  // False before the first sync and once the server has been gone for the
  // grace period: the system then has no devices.
  bool connected = false;
};

using SnapshotRef = std::shared_ptr<const Snapshot>;

}  // namespace tavuno
