#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "engine/ActiveApp.h"
#include "engine/IdentityPort.h"
#include "hal/Hal.h"

namespace tavuno {

// The applications producing audio, found from the hardware's audio process
// objects: keyed by application id, and as the sorted list the mixer shows.
struct Discovery {
  std::map<std::string, ActiveApp> apps;
  std::vector<ActiveApp> sorted;
};

// `outputDevices` reads the output devices of one process object (nothing
// when unreadable).
Discovery discoverActiveApps(
    Hal& hal, IdentityPort& identity,
    const std::function<std::optional<std::vector<AudioObjectID>>(AudioObjectID)>& outputDevices);

// Every running application with a bundle identifier, first of a repeated id
// winning, sorted by name; the program itself is left out.
std::vector<RunningApp> listRunningApps(IdentityPort& identity);

}  // namespace tavuno
