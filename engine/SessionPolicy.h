#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "hal/HalTypes.h"

namespace tavuno {

// What a session was built for: the application's audio processes
// (ascending), the output's UID and the device id the session opened.
struct SessionSignature {
  std::vector<AudioObjectID> processes;
  std::string outputUID;
  AudioObjectID outputID = 0;
  friend bool operator==(const SessionSignature&, const SessionSignature&) = default;
};

// The callback count last seen and the uptime when it last moved.
struct StreamWatchdog {
  std::optional<std::uint32_t> lastCallbacks;
  double lastProgress = 0;
};

// Automatic retries spent on one signature: at most two until the budget is
// dropped (a proven session, a retry by the user, or the app leaving).
struct SessionRetryBudget {
  std::optional<SessionSignature> signature;
  int attempts = 0;

  bool consume(const SessionSignature& failed, bool desired);
};

enum class SessionAction { keep, start, teardown, idle };

namespace SessionPolicy {
// The verdict for one application: `desired` and `candidate` say what should
// run, `current` what runs, `failed` what last failed.
SessionAction action(bool desired, const std::optional<SessionSignature>& candidate,
                     const std::optional<SessionSignature>& current,
                     const std::optional<SessionSignature>& failed);
}  // namespace SessionPolicy

}  // namespace tavuno
