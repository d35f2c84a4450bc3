#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/sessions/SessionFailure.h"
#include "engine/taps/TapPlatform.h"

namespace tavuno::tapSteps {

// Reads a fixed-size property value. A read that succeeds with another size than the value's
// fails with status::badPropertySize, so a short read never leaves part of `value` unset.
template <class T>
OSStatus readValue(TapPlatform& platform, AudioObjectID object, const PropertyAddress& address,
                   T& value) {
  T read{};
  std::uint32_t size = sizeof(T);
  OSStatus status = platform.getPropertyData(object, address, size, &read);
  if (status != status::noError) return status;
  if (size != sizeof(T)) return status::badPropertySize;
  value = read;
  return status::noError;
}

// Makes the private stereo-mixdown tap over `processes` that mutes them while it is read, and
// reads its UID. `tap` is set as soon as the tap exists, so that the caller's stop() destroys it
// whatever fails next.
std::optional<SessionFailure> makeTap(TapPlatform& platform,
                                      const std::vector<AudioObjectID>& processes,
                                      AudioObjectID& tap, std::string& uid);

// "com.tavuno.aggregate." (or "com.tavuno.aggregate.duplex.") and a fresh upper-case UUID.
std::string aggregateUID(bool duplex);

}  // namespace tavuno::tapSteps
