#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/linux/Snapshot.h"
#include "platform/linux/SnapshotHub.h"

namespace tavuno {

// What the server says about one pid, for working out which application it
// is: the property lists of its playback and recording streams, then of its
// clients (where a sandbox's pipewire.access.portal.app_id is found, and
// application.id, application.process.binary, application.icon_name,
// application.name). Pids as the Hal's process objects report them.
using ProcessPropertiesSource =
    std::function<std::vector<std::map<std::string, std::string>>(std::int32_t pid)>;

std::vector<std::map<std::string, std::string>> processProperties(const Snapshot& snapshot,
                                                                  std::int32_t pid);

// Reads the hub's latest snapshot on each call; any thread. The hub must
// outlive the function.
ProcessPropertiesSource processPropertiesSource(const SnapshotHub& hub);

}  // namespace tavuno
