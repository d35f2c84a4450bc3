#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "hal/HalTypes.h"

namespace tavuno {

// One application producing audio. `id` is its bundle identifier, else
// "pid:" and its process id.
struct ActiveApp {
  std::string id;
  std::string name;
  std::vector<AudioObjectID> processes;  // audio process objects running output, ascending
  std::optional<std::string> bundleURL;
  bool inputActive = false;
  // Output devices its processes play to, ascending; absent when any of its
  // output processes did not report them.
  std::optional<std::vector<AudioObjectID>> nativeOutputIDs;
  // The output device (UID) its streams play to by their own choice, not the
  // system default, as the service last saw it before taking the app; none
  // when the app follows the default.
  std::optional<std::string> ownOutputUID;

  friend bool operator==(const ActiveApp&, const ActiveApp&) = default;
};

struct RunningApp {
  std::string id;
  std::string name;
  friend bool operator==(const RunningApp&, const RunningApp&) = default;
};

}  // namespace tavuno
